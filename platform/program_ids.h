// Every number the program's windows, timers and messages are told apart by, in one place:
// the timers of the main window, the window messages of the program's own, and (through
// res/resource.h, which the resource compiler reads as well) the commands, icons, dialogs
// and controls. The tray code, the schedule and the test driver use these names.
#pragma once

#include <cstdint>

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

}  // namespace tessaren
