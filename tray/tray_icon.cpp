// Keeping the one icon in the notification area.
#include "tray/tray_icon.h"

#include "platform/text.h"

namespace tessaren {

void TrayIcon::add(IconState state, const std::string& tip) {
  state_ = state;
  tip_ = utf8Prefix(tip, kTipCapacity - 1);
  wanted_ = true;
  place();
}

void TrayIcon::place() {
  // A refused add may still be carried out (Explorer busy at sign-in): whatever the
  // answer, the icon the shell holds afterwards has not been told the version yet.
  version4_ = false;
  shown_ = shell_.add(state_, tip_);
  settle();
}

void TrayIcon::settle() {
  if (shown_ && !version4_) version4_ = shell_.useVersion4();
}

void TrayIcon::change() {
  if (!wanted_) return;
  shown_ = shell_.change(state_, tip_);
  // A change the shell refuses means it has lost the icon: add it again, whole.
  if (!shown_) return place();
  settle();
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
  version4_ = false;
}

void TrayIcon::restore() {
  if (!wanted_) return;
  // An add refused at sign-in may have been carried out after all: then a second add
  // would fail for good, and a change finds the icon.
  version4_ = false;
  shown_ = shell_.change(state_, tip_);
  if (!shown_) return place();
  settle();
}

void TrayIcon::reloadPictures() {
  shell_.reloadPictures();
  change();
}

}  // namespace tessaren
