// Natively there are no windows, so no timer can be set.
#include "update/timer_api.h"

namespace tessaren {
namespace {

class NoTimer final : public TimerApi {
 public:
  bool killTimer(WindowHandle, std::uintptr_t) override { return false; }
  bool setTimer(WindowHandle, std::uintptr_t, std::uint32_t) override { return false; }
};

}  // namespace

TimerApi& platformTimerApi() {
  static NoTimer timer;
  return timer;
}

}  // namespace tessaren
