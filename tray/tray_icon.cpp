// The tray icon's record and its operations.
#include "tray/tray_icon.h"

#include <algorithm>
#include <cstring>

#include "platform/text.h"

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

TrayIcon::~TrayIcon() { releasePictures(); }

// The three pictures are loaded once and kept: they are shown again and again, and each
// load at a scaled size makes a new icon that must be destroyed.
void TrayIcon::loadPictures() {
  releasePictures();
  for (IconState state : {IconState::Loading, IconState::Error, IconState::Ready}) {
    pictures_[static_cast<std::size_t>(state) - 1] =
        trayApi().loadIcon(module_, iconResourceFor(state));
  }
}

void TrayIcon::releasePictures() {
  for (IconHandle& picture : pictures_) {
    if (picture != 0) trayApi().destroyIcon(picture);
    picture = 0;
  }
}

int TrayIcon::picturesHeld() const {
  return static_cast<int>(std::count_if(pictures_.begin(), pictures_.end(),
                                        [](IconHandle picture) { return picture != 0; }));
}

IconHandle TrayIcon::pictureFor(IconState state) {
  const int id = iconResourceFor(state);
  return id == 0 ? 0 : pictures_[static_cast<std::size_t>(state) - 1];
}

bool TrayIcon::send(std::uint32_t message) {
  shown_ = trayApi().notifyIcon(message, record_);
  // A change the shell refuses means it has lost the icon (Explorer restarted or is
  // still starting): add it again, whole.
  if (!shown_ && message == kNotifyModify) shown_ = trayApi().notifyIcon(kNotifyAdd, record_);
  return shown_;
}

std::int32_t TrayIcon::add(IconState state, WindowHandle window, std::uint32_t callbackMessage,
                           ModuleHandle module) {
  record_.hWnd = window;
  record_.uCallbackMessage = callbackMessage;
  module_ = module;
  record_.cbSize = kNotifyIconDataV2Size;
  record_.uID = kTrayIconId;
  record_.uFlags = kTrayFlags;
  std::memset(record_.szTip, 0, sizeof record_.szTip);
  state_ = state;
  loadPictures();
  record_.hIcon = pictureFor(state);
  wanted_ = true;
  send(kNotifyAdd);
  return 0;
}

std::int32_t TrayIcon::setState(IconState state) {
  state_ = state;
  record_.hIcon = pictureFor(state);
  if (wanted_) send(kNotifyModify);
  return 0;
}

std::int32_t TrayIcon::setTip(std::string text) {
  const std::string tip = utf8Prefix(text, kTipCapacity - 1);
  std::memset(record_.szTip, 0, sizeof record_.szTip);
  std::memcpy(record_.szTip, tip.data(), tip.size());
  if (wanted_) send(kNotifyModify);
  return 0;
}

std::int32_t TrayIcon::remove() {
  if (wanted_) trayApi().notifyIcon(kNotifyDelete, record_);
  wanted_ = false;
  shown_ = false;
  return 0;
}

std::int32_t TrayIcon::restore() {
  if (wanted_) send(kNotifyAdd);
  return 0;
}

std::int32_t TrayIcon::reloadPictures() {
  if (!wanted_) return 0;
  loadPictures();
  record_.hIcon = pictureFor(state_);
  send(kNotifyModify);
  return 0;
}

TrayIcon& trayIcon() {
  static TrayIcon icon;
  return icon;
}

}  // namespace tessaren
