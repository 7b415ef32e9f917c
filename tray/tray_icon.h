// The one notification-area icon: its record for the shell, and the operations that
// add it, change its picture and tip, and take it away again.
#pragma once

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
  virtual ~TrayIcon() = default;  // leaves the icon with the shell: only remove() takes it away
  TrayIcon(const TrayIcon&) = delete;
  TrayIcon& operator=(const TrayIcon&) = delete;

  // Each sends one Shell_NotifyIconA call and returns 0 whatever the shell answers.
  std::int32_t add(IconState state, WindowHandle window, std::uint32_t callbackMessage,
                   ModuleHandle module);
  std::int32_t setState(IconState state);
  // Texts longer than the record holds are cut to its 63 characters.
  std::int32_t setTip(std::string text);
  // Sends NIM_DELETE once; a second call, or one before add(), sends nothing.
  std::int32_t remove();
  // Adds the icon again with its current picture and tip, after the shell restarted and
  // forgot it. Nothing happens when the icon was never added or has been removed.
  std::int32_t restore();

  // The picture of a state, loaded from module; a null handle for any other value.
  static IconHandle iconFor(IconState state, ModuleHandle module);

  const NotifyIconRecord& record() const { return record_; }
  bool shown() const { return shown_; }

 private:
  NotifyIconRecord record_;
  ModuleHandle module_ = 0;
  IconState state_ = IconState::Ready;
  bool shown_ = false;
};

// The process's tray icon.
TrayIcon& trayIcon();

}  // namespace tessaren
