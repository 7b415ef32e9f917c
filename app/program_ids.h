// The numbers the program's own windows, timers and messages are told apart by, in one
// place: the main window's timers besides the scheduler's (update/scheduler.h), the window
// messages of the program's own, the command line's message tags, and (through
// res/resource.h, which the resource compiler reads as well) the commands, icons, dialogs
// and controls. The names other processes find the program by are in
// platform/object_names.h.
#pragma once

#include <cstdint>

#include "res/resource.h"

namespace tessaren {

// The main window's timers of the program's own; the scheduler's are 20000 and 20002.
constexpr std::uintptr_t kTrayRetryTimerId =
    20001;                                       // add the icon again while the shell refuses it
constexpr std::uintptr_t kClickTimerId = 20003;  // a click, once no double-click follows

// The main window's own messages (WM_APP is 0x8000).
constexpr unsigned kWorkEndedMessage = 0x8000 + 1;   // a worker's job has ended: deliver it
constexpr unsigned kTrayNotifyMessage = 0x8000 + 2;  // the notification icon's callbacks

// A command from another tessaren.exe (its command line), sent to the main window as
// WM_COPYDATA with kCommandTag (its text: app/command_line.h, commandMessage), and in
// wParam the window that /status answers to (with kStatusReplyTag), which must be that
// process's; the answer is the exit code.
constexpr std::uintptr_t kCommandTag = 0x54455353;  // "TESS"
constexpr std::uintptr_t kStatusReplyTag = 0x54455352;

// The environment variable through which tessaren.com hands the tessaren.exe it starts an
// inherited event (its handle's value in decimal), which that process sets once it has
// become the program rather than an answer that ends.
inline constexpr wchar_t kStartedEventVariable[] = L"TESSAREN_STARTED_EVENT";

}  // namespace tessaren
