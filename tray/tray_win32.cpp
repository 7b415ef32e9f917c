// The shell's notification area: the record is copied field by field into the second
// NOTIFYICONDATAA layout and handed to Shell_NotifyIconA.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <shellapi.h>

#include <cstring>

#include "tray/tray_api.h"

namespace tessaren {
namespace {

static_assert(kNotifyIconDataV2Size == NOTIFYICONDATAA_V2_SIZE);
static_assert(sizeof(NOTIFYICONDATAA{}.szTip) == kTipCapacity);

class ShellTray final : public TrayApi {
 public:
  bool notifyIcon(std::uint32_t message, const NotifyIconRecord& record) override {
    NOTIFYICONDATAA data{};
    data.cbSize = record.cbSize;
    data.hWnd = reinterpret_cast<HWND>(record.hWnd);
    data.uID = record.uID;
    data.uFlags = record.uFlags;
    data.uCallbackMessage = record.uCallbackMessage;
    data.hIcon = reinterpret_cast<HICON>(record.hIcon);
    std::memcpy(data.szTip, record.szTip, kTipCapacity);
    return Shell_NotifyIconA(message, &data) != FALSE;
  }
  IconHandle loadIcon(ModuleHandle module, int id) override {
    HICON icon = nullptr;
    if (FAILED(LoadIconMetric(reinterpret_cast<HINSTANCE>(module), MAKEINTRESOURCEW(id), LIM_SMALL,
                              &icon)))
      return 0;
    return reinterpret_cast<IconHandle>(icon);
  }
  void destroyIcon(IconHandle icon) override { DestroyIcon(reinterpret_cast<HICON>(icon)); }
};

}  // namespace

TrayApi& platformTrayApi() {
  static ShellTray tray;
  return tray;
}

}  // namespace tessaren
