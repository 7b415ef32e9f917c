// Every number the program's windows, timers and messages are told apart by, in one place:
// the timers of the main window, the window messages of the program's own, and (through
// res/resource.h, which the resource compiler reads as well) the commands, icons, dialogs
// and controls. The tray code, the schedule and the test driver use these names.
#pragma once

#include <cstdint>
#include <string>

#include "res/resource.h"

namespace tessaren {

// The main window's timers.
constexpr std::uintptr_t kRefreshTimerId =
    20000;  // the next update is due (or a look at the clocks)
constexpr std::uintptr_t kTrayRetryTimerId =
    20001;                                          // add the icon again while the shell refuses it
constexpr std::uintptr_t kDeadlineTimerId = 20002;  // the running update's time limit
constexpr std::uintptr_t kClickTimerId = 20003;     // a click, once no double-click follows

// The main window's own messages (WM_APP is 0x8000).
constexpr unsigned kWorkEndedMessage = 0x8000 + 1;   // a worker's job has ended: deliver it
constexpr unsigned kTrayNotifyMessage = 0x8000 + 2;  // the notification icon's callbacks

// The notification icon's id among the main window's icons.
constexpr unsigned kTrayIconId = 25077;

// A command from another tessaren.exe (its command line), sent to the main window as
// WM_COPYDATA with kCommandTag: the UTF-8 text of the option, a line end and the sending
// process's id, and in wParam the window that /status answers to (with kStatusReplyTag),
// which must be that process's; the answer is the exit code.
constexpr std::uintptr_t kCommandTag = 0x54455353;  // "TESS"
constexpr std::uintptr_t kStatusReplyTag = 0x54455352;

// The event tessaren.com makes for the tessaren.exe it starts, and which that process sets
// once it has become the program (rather than an answer that ends): the .com then returns
// at once instead of waiting for a process that runs for days.
inline std::string startedEventName(unsigned long processId) {
  return "Local\\Tessaren.Started." + std::to_string(processId);
}

}  // namespace tessaren
