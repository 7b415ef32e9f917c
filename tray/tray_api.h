// The shell's notification area behind one small interface: Shell_NotifyIconA and the
// loading of the tray pictures. The Win32 side (tray_win32.cpp) passes the calls on;
// native tests put a double in place that records them.
#pragma once

#include <cstddef>
#include <cstdint>

namespace tessaren {

// Window, module and icon handles as the portable code carries them; 0 means none.
using WindowHandle = std::uintptr_t;
using ModuleHandle = std::uintptr_t;
using IconHandle = std::uintptr_t;

constexpr std::uint32_t kNotifyAdd = 0;     // NIM_ADD
constexpr std::uint32_t kNotifyModify = 1;  // NIM_MODIFY
constexpr std::uint32_t kNotifyDelete = 2;  // NIM_DELETE

constexpr std::uint32_t kNotifyFlagMessage = 1;  // NIF_MESSAGE
constexpr std::uint32_t kNotifyFlagIcon = 2;     // NIF_ICON
constexpr std::uint32_t kNotifyFlagTip = 4;      // NIF_TIP

// The size of the second NOTIFYICONDATAA layout (Windows 2000 and later), the first with
// the 128-character tip: 488 bytes with 4-byte handles, 504 with 8-byte ones
// (NOTIFYICONDATAA_V2_SIZE). The callback messages stay those of the first layout.
constexpr std::uint32_t kNotifyIconDataV2Size = sizeof(void*) == 8 ? 504 : 488;
constexpr std::size_t kTipCapacity = 128;  // szTip, its NUL included

// The fields of NOTIFYICONDATAA that Tessaren sets, in their order.
struct NotifyIconRecord {
  std::uint32_t cbSize = 0;
  WindowHandle hWnd = 0;
  std::uint32_t uID = 0;
  std::uint32_t uFlags = 0;
  std::uint32_t uCallbackMessage = 0;
  IconHandle hIcon = 0;
  char szTip[kTipCapacity] = {};
};

class TrayApi {
 public:
  virtual ~TrayApi() = default;
  // Shell_NotifyIconA(message, record); true when the shell accepted it.
  virtual bool notifyIcon(std::uint32_t message, const NotifyIconRecord& record) = 0;
  // LoadIconMetric(module, MAKEINTRESOURCE(id), LIM_SMALL): the picture at the size the
  // notification area wants at the current scaling; 0 when it cannot be loaded.
  virtual IconHandle loadIcon(ModuleHandle module, int id) = 0;
  // DestroyIcon(icon), for every icon loadIcon gave.
  virtual void destroyIcon(IconHandle icon) = 0;
};

// The tray in use: the platform's own unless a test has put another in place.
TrayApi& trayApi();
// Puts api in place of the platform's tray; nullptr restores the platform's.
void setTrayApi(TrayApi* api);
// The platform's tray: the shell in the Windows build; natively one that accepts nothing.
TrayApi& platformTrayApi();

}  // namespace tessaren
