// Keeping the one icon in the notification area.
#include "tray/tray_icon.h"

#include "platform/text.h"

namespace tessaren {

void TrayIcon::add(IconState state, const std::string& tip) {
  state_ = state;
  tip_ = utf8Prefix(tip, kTipCapacity - 1);
  wanted_ = true;
  shown_ = shell_.add(state_, tip_);
}

void TrayIcon::change() {
  if (!wanted_) return;
  shown_ = shell_.change(state_, tip_);
  // A change the shell refuses means it has lost the icon: add it again, whole.
  if (!shown_) shown_ = shell_.add(state_, tip_);
}

void TrayIcon::setState(IconState state) {
  state_ = state;
  change();
}

void TrayIcon::setTip(const std::string& text) {
  tip_ = utf8Prefix(text, kTipCapacity - 1);
  change();
}

void TrayIcon::remove() {
  if (wanted_) shell_.remove();
  wanted_ = false;
  shown_ = false;
}

void TrayIcon::restore() {
  if (wanted_) shown_ = shell_.add(state_, tip_);
}

void TrayIcon::reloadPictures() {
  shell_.reloadPictures();
  change();
}

}  // namespace tessaren
