// The window timer behind one small interface: SetTimer and KillTimer on the main window.
// The Win32 side (timer_win32.cpp) passes the calls on; native tests record them.
#pragma once

#include <cstdint>

#include "tray/tray_api.h"

namespace tessaren {

// The longest period SetTimer accepts (USER_TIMER_MAXIMUM), in milliseconds.
constexpr std::uint32_t kTimerPeriodLimit = 0x7FFFFFFF;

class TimerApi {
 public:
  virtual ~TimerApi() = default;
  // KillTimer(window, id)
  virtual bool killTimer(WindowHandle window, std::uintptr_t id) = 0;
  // SetTimer(window, id, period, NULL): no timer procedure, so expiries arrive as WM_TIMER.
  virtual bool setTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) = 0;
};

// The timer in use: the platform's own unless a test has put another in place.
TimerApi& timerApi();
// Puts api in place of the platform's timer; nullptr restores the platform's.
void setTimerApi(TimerApi* api);
// The platform's timer: Win32 in the Windows build; natively one that never fires.
TimerApi& platformTimerApi();

}  // namespace tessaren
