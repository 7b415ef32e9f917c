// The one notification-area icon: its picture and tip, and keeping it there. The shell
// forgets icons (Explorer restarts), refuses calls, and at sign-in refuses an add that it
// carries out a moment later; TrayIcon remembers what should be shown and shows it again,
// and asks for version 4 callbacks whenever the icon is known to be there. The shell's
// side is a small interface (tray_win32.cpp: Shell_NotifyIconW).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace tessaren {

enum class IconState : std::int32_t { Loading = 1, Error = 2, Ready = 3 };

inline const std::string kTipIdle = "Tessaren";
inline const std::string kTipLoading = "Tessaren, load wallpaper...";
inline const std::string kTipError = "Tessaren, communication error!";
// The tip holds 127 characters; texts are cut to this many bytes at a character boundary.
constexpr std::size_t kTipCapacity = 128;

// The shell's notification area, as the icon needs it. Each call is complete: picture,
// tip and callback all go with it.
class TrayShell {
 public:
  virtual ~TrayShell() = default;
  // Adds the icon; false when the shell refused.
  virtual bool add(IconState state, const std::string& tip) = 0;
  // Changes it; false when the shell refused (it has likely lost the icon).
  virtual bool change(IconState state, const std::string& tip) = 0;
  // Asks for version 4 callbacks (WM_CONTEXTMENU, NIN_SELECT, NIN_KEYSELECT with the
  // icon's point); without them the icon answers double-clicks only. False when refused.
  virtual bool useVersion4() = 0;
  // Gives the keyboard focus back to the notification area, after a menu the keyboard
  // opened has closed.
  virtual void returnFocus() = 0;
  virtual void remove() = 0;
  // Loads the pictures again at the size the notification area wants now.
  virtual void reloadPictures() = 0;
};

// The shell's notification area for the given window (an HWND), which receives
// callbackMessage with version 4 notifications, and pictures from module (an HINSTANCE).
// Windows build only.
std::unique_ptr<TrayShell> makeShellTray(void* window, std::uint32_t callbackMessage, void* module);

class TrayIcon {
 public:
  explicit TrayIcon(TrayShell& shell) : shell_(shell) {}

  void add(IconState state, const std::string& tip);
  void setState(IconState state);
  // Texts longer than the tip holds are cut at a character boundary.
  void setTip(const std::string& text);
  // Takes the icon away; nothing is shown afterwards until add().
  void remove();
  // Puts the icon back with its current picture and tip: after the shell restarted and
  // forgot it, or while an add has not yet been accepted (an icon the shell added after
  // all is changed, not added twice), and asks for version 4 again. Nothing when it is
  // not wanted.
  void restore();
  // The keyboard focus goes back to the notification area.
  void returnFocus() { shell_.returnFocus(); }
  // The scaling changed: new pictures at the new size, shown at once.
  void reloadPictures();

  // Between add() and remove().
  bool wanted() const { return wanted_; }
  // The shell accepted the last call: the icon is there.
  bool shown() const { return shown_; }
  // The icon is there and speaks version 4: clicks, right-clicks and the keyboard reach
  // the program. Until then the program keeps trying.
  bool complete() const { return shown_ && version4_; }
  IconState state() const { return state_; }
  const std::string& tip() const { return tip_; }

 private:
  void change();
  // Adds the icon, whole.
  void place();
  // Asks for version 4 once the icon is there, until the shell has taken it.
  void settle();

  TrayShell& shell_;
  IconState state_ = IconState::Ready;
  std::string tip_;
  bool wanted_ = false;
  bool shown_ = false;
  bool version4_ = false;  // the shell took NIM_SETVERSION for the icon it holds now
};

}  // namespace tessaren
