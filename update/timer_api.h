// The window timers the schedule arms, behind one small interface: SetTimer and KillTimer
// on the main window (timer_win32.cpp); native tests arm a fake.
#pragma once

#include <cstdint>
#include <memory>

namespace tessaren {

class TimerApi {
 public:
  virtual ~TimerApi() = default;
  // Expiries arrive as WM_TIMER with the id on the window the timer belongs to; a timer
  // armed again replaces the earlier period.
  virtual void set(std::uintptr_t id, std::uint32_t periodMs) = 0;
  virtual void kill(std::uintptr_t id) = 0;
};

// Timers of the given window (an HWND). Windows build only.
std::unique_ptr<TimerApi> makeWindowTimer(void* window);

}  // namespace tessaren
