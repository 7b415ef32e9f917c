// Natively there is no shell: every notification is refused and no picture loads.
#include "tray/tray_api.h"

namespace tessaren {
namespace {

class NoTray final : public TrayApi {
 public:
  bool notifyIcon(std::uint32_t, const NotifyIconRecord&) override { return false; }
  IconHandle loadIcon(ModuleHandle, int) override { return 0; }
  void destroyIcon(IconHandle) override {}
};

}  // namespace

TrayApi& platformTrayApi() {
  static NoTray tray;
  return tray;
}

}  // namespace tessaren
