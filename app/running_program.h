// Which process is the running program, as that program says itself: the copy that holds
// the per-user mutex publishes its process id and main window in a small named section,
// and another tessaren.exe hands its option only to the window named there. A window of
// the same class in any other process is nobody's program: it can neither answer for
// Tessaren nor keep it from starting. Windows only.
#pragma once

#include <windows.h>

#include "platform/kernel_handles.h"

namespace tessaren {

// Says that this process, with window as its main window, is the program, for as long as
// the section returned is held. Empty when the section cannot be made or written.
OwnedHandle publishRunningProgram(HWND window);

// The running program's main window, or nullptr when no program has said so (none runs,
// or it is still starting) or the window it named is gone.
HWND findRunningProgram();

}  // namespace tessaren
