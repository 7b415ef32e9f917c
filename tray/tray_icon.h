// The one notification-area icon: its record for the shell, and the operations that
// add it, change its picture and tip, and take it away again.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "tray/tray_api.h"

namespace tessaren {

enum class IconState : std::int32_t { Loading = 1, Error = 2, Ready = 3 };

constexpr std::uint32_t kTrayIconId = 25077;
constexpr std::uint32_t kTrayNotifyMessage = 0x0400 + 10;  // WM_USER + 10
// Picture, tip and callback message go with every call, so each one is complete.
constexpr std::uint32_t kTrayFlags = kNotifyFlagMessage | kNotifyFlagIcon | kNotifyFlagTip;

inline const std::string kTipIdle = "Tessaren";
inline const std::string kTipLoading = "Tessaren, load wallpaper...";
inline const std::string kTipError = "Tessaren, communication error!";

// The icon resource of a state: 129, 130 or 131; 0 for a value that is no state.
int iconResourceFor(IconState state);

class TrayIcon {
 public:
  TrayIcon() = default;
  ~TrayIcon();  // leaves the icon with the shell: only remove() takes it away
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Each sends one Shell_NotifyIconA call (two when a change finds the icon gone and adds
  // it again) and returns 0 whatever the shell answers; shown() tells what it answered.
  std::int32_t add(IconState state, WindowHandle window, std::uint32_t callbackMessage,
                   ModuleHandle module);
  std::int32_t setState(IconState state);
  // Texts longer than the record holds are cut to its 127 bytes at a character boundary.
  std::int32_t setTip(std::string text);
  // Sends NIM_DELETE once; a second call, or one before add(), sends nothing.
  std::int32_t remove();
  // Adds the icon again with its current picture and tip: after the shell restarted and
  // forgot it, or while an add has not yet been accepted (the shell is still starting at
  // sign-in). Nothing happens when the icon was never added or has been removed.
  std::int32_t restore();
  // Loads the pictures again, at the size the notification area now wants (the scaling
  // changed), and shows the current one.
  std::int32_t reloadPictures();

  const NotifyIconRecord& record() const { return record_; }
  // Between add() and remove().
  bool wanted() const { return wanted_; }
  // The shell accepted the last call: the icon is there.
  bool shown() const { return shown_; }
  // Icons loaded and not yet destroyed (three while shown).
  int picturesHeld() const;

 private:
  IconHandle pictureFor(IconState state);
  void loadPictures();
  void releasePictures();
  bool send(std::uint32_t message);

  NotifyIconRecord record_;
  ModuleHandle module_ = 0;
  IconState state_ = IconState::Ready;
  std::array<IconHandle, 3> pictures_{};  // Loading, Error, Ready
  bool wanted_ = false;
  bool shown_ = false;
};

// The process's tray icon.
TrayIcon& trayIcon();

}  // namespace tessaren
