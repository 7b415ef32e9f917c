// Window timers: SetTimer and KillTimer on the main window.
#include <windows.h>

#include "update/timer_api.h"

namespace tessaren {
namespace {

class WindowTimer final : public TimerApi {
 public:
  explicit WindowTimer(HWND window) : window_(window) {}
  void set(std::uintptr_t id, std::uint32_t periodMs) override {
    SetTimer(window_, id, periodMs, nullptr);
  }
  void kill(std::uintptr_t id) override { KillTimer(window_, id); }

 private:
  HWND window_;
};

}  // namespace

std::unique_ptr<TimerApi> makeWindowTimer(void* window) {
  return std::make_unique<WindowTimer>(static_cast<HWND>(window));
}

}  // namespace tessaren
