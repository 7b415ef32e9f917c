// The tray icon's record and its four operations.
#include "tray/tray_icon.h"

#include <algorithm>
#include <cstring>

namespace tessaren {

int iconResourceFor(IconState state) {
  switch (state) {
    case IconState::Loading:
      return 129;
    case IconState::Error:
      return 130;
    case IconState::Ready:
      return 131;
  }
  return 0;
}

IconHandle TrayIcon::iconFor(IconState state, ModuleHandle module) {
  const int id = iconResourceFor(state);
  return id == 0 ? 0 : trayApi().loadIcon(module, id);
}

std::int32_t TrayIcon::add(IconState state, WindowHandle window, std::uint32_t callbackMessage,
                           ModuleHandle module) {
  record_.hWnd = window;
  record_.uCallbackMessage = callbackMessage;
  module_ = module;
  record_.cbSize = kNotifyIconDataV1Size;
  record_.uID = kTrayIconId;
  record_.uFlags = kTrayFlags;
  std::memset(record_.szTip, 0, sizeof record_.szTip);
  state_ = state;
  record_.hIcon = iconFor(state, module_);
  trayApi().notifyIcon(kNotifyAdd, record_);
  shown_ = true;
  return 0;
}

std::int32_t TrayIcon::setState(IconState state) {
  state_ = state;
  record_.hIcon = iconFor(state, module_);
  trayApi().notifyIcon(kNotifyModify, record_);
  return 0;
}

std::int32_t TrayIcon::setTip(std::string text) {
  const std::size_t length = std::min(text.size(), kTipCapacity - 1);
  std::memset(record_.szTip, 0, sizeof record_.szTip);
  std::memcpy(record_.szTip, text.data(), length);
  trayApi().notifyIcon(kNotifyModify, record_);
  return 0;
}

std::int32_t TrayIcon::remove() {
  if (shown_) trayApi().notifyIcon(kNotifyDelete, record_);
  shown_ = false;
  return 0;
}

std::int32_t TrayIcon::restore() {
  if (!shown_) return 0;
  // Icon handles from the old shell session stay valid (they are ours), but the picture
  // is loaded again like on every change of state.
  record_.hIcon = iconFor(state_, module_);
  trayApi().notifyIcon(kNotifyAdd, record_);
  return 0;
}

TrayIcon& trayIcon() {
  static TrayIcon icon;
  return icon;
}

}  // namespace tessaren
