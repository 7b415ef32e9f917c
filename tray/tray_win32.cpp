// The shell's notification area: Shell_NotifyIconW with NOTIFYICON_VERSION_4, so that the
// callback tells WM_CONTEXTMENU, NIN_SELECT and NIN_KEYSELECT apart and carries the point
// a menu belongs at (the icon's corner when the keyboard asked). The three pictures are
// loaded once at the size the notification area wants and kept until the scaling changes.
#include <windows.h>
// after windows.h, which they need
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <array>

#include "platform/program_ids.h"
#include "platform/soak_counters.h"
#include "platform/window_handles.h"
#include "tray/tray_icon.h"

namespace tessaren {
namespace {

int resourceFor(IconState state) {
  switch (state) {
    case IconState::Loading:
      return IDI_TRAY_LOADING;
    case IconState::Error:
      return IDI_TRAY_ERROR;
    case IconState::Ready:
      break;
  }
  return IDI_TRAY_READY;
}

class ShellTray final : public TrayShell {
 public:
  ShellTray(HWND window, UINT callbackMessage, HINSTANCE module)
      : window_(window), callbackMessage_(callbackMessage), module_(module) {
    loadPictures();
  }
  ~ShellTray() override = default;

  bool add(IconState state, const std::string& tip) override {
    NOTIFYICONDATAW data = record(state, tip);
    return Shell_NotifyIconW(NIM_ADD, &data) != FALSE;
  }
  bool change(IconState state, const std::string& tip) override {
    NOTIFYICONDATAW data = record(state, tip);
    return Shell_NotifyIconW(NIM_MODIFY, &data) != FALSE;
  }
  bool useVersion4() override {
    NOTIFYICONDATAW data = identity();
    data.uVersion = NOTIFYICON_VERSION_4;
    return Shell_NotifyIconW(NIM_SETVERSION, &data) != FALSE;
  }
  void returnFocus() override {
    NOTIFYICONDATAW data = identity();
    Shell_NotifyIconW(NIM_SETFOCUS, &data);
  }
  void remove() override {
    NOTIFYICONDATAW data = record(IconState::Ready, "");
    Shell_NotifyIconW(NIM_DELETE, &data);
  }
  void reloadPictures() override { loadPictures(); }

 private:
  void loadPictures() {
    for (IconState state : {IconState::Loading, IconState::Error, IconState::Ready}) {
      HICON icon = nullptr;
      if (FAILED(LoadIconMetric(module_, MAKEINTRESOURCEW(resourceFor(state)), LIM_SMALL, &icon)))
        icon = nullptr;
      pictures_[static_cast<std::size_t>(state) - 1].reset(icon);
    }
#ifdef TESSAREN_SOAK_COUNTERS
    soak::trayPictures = static_cast<int>(std::count_if(
        pictures_.begin(), pictures_.end(), [](const OwnedIcon& icon) { return bool(icon); }));
#endif
  }

  // What names the icon: enough for NIM_SETVERSION, NIM_SETFOCUS and NIM_DELETE.
  NOTIFYICONDATAW identity() const {
    NOTIFYICONDATAW data{};
    data.cbSize = sizeof data;
    data.hWnd = window_;
    data.uID = kTrayIconId;
    return data;
  }

  NOTIFYICONDATAW record(IconState state, const std::string& tip) const {
    NOTIFYICONDATAW data = identity();
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP | NIF_SHOWTIP;
    data.uCallbackMessage = callbackMessage_;
    data.hIcon = pictures_[static_cast<std::size_t>(state) - 1].get();
    // The tip is UTF-8 here; the shell takes UTF-16, at most 127 units and a NUL.
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, tip.data(), static_cast<int>(tip.size()), nullptr, 0);
    if (length > 0 && length < static_cast<int>(std::size(data.szTip)))
      MultiByteToWideChar(CP_UTF8, 0, tip.data(), static_cast<int>(tip.size()), data.szTip, length);
    return data;
  }

  HWND window_;
  UINT callbackMessage_;
  HINSTANCE module_;
  std::array<OwnedIcon, 3> pictures_;  // Loading, Error, Ready
};

}  // namespace

std::unique_ptr<TrayShell> makeShellTray(void* window, std::uint32_t callbackMessage,
                                         void* module) {
  return std::make_unique<ShellTray>(static_cast<HWND>(window), callbackMessage,
                                     static_cast<HINSTANCE>(module));
}

}  // namespace tessaren
