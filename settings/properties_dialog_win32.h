// The Properties dialog's procedure (dialog 133), opened from the tray menu.
#pragma once

#include <windows.h>

namespace tessaren {

INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessaren
