// Window timers: SetTimer and KillTimer with the arguments the refresh cycle chose.
#include <windows.h>

#include "update/timer_api.h"

namespace tessaren {
namespace {

static_assert(kTimerPeriodLimit == USER_TIMER_MAXIMUM);

class WindowTimer final : public TimerApi {
 public:
  bool killTimer(WindowHandle window, std::uintptr_t id) override {
    return KillTimer(reinterpret_cast<HWND>(window), id) != FALSE;
  }
  bool setTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) override {
    return SetTimer(reinterpret_cast<HWND>(window), id, periodMs, nullptr) != 0;
  }
};

}  // namespace

TimerApi& platformTimerApi() {
  static WindowTimer timer;
  return timer;
}

}  // namespace tessaren
