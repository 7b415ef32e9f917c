// The desktop calls of the wallpaper step, behind one small interface: the Win32 side
// (desktop_win32.cpp) passes them straight on, and native tests stand in a double.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "imaging/picture_geometry.h"

namespace tessaren {

class DesktopApi {
 public:
  virtual ~DesktopApi() = default;
  // SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, bmpPath,
  // SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE); true when the system took it.
  virtual bool setWallpaper(const std::string& bmpPath) = 0;
  // MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING), rename natively: puts a finished
  // file in place of the old one in one step.
  virtual bool replaceFile(const std::string& from, const std::string& to) = 0;
  // Every monitor's rectangle in virtual-screen pixels (EnumDisplayMonitors with
  // GetMonitorInfoW), in the system's order; empty when there is no desktop.
  virtual std::vector<Monitor> monitors() = 0;
  // The bytes the current user may still write on the volume holding directory
  // (GetDiskFreeSpaceExA); nothing when that cannot be told.
  virtual std::optional<std::uint64_t> freeBytes(const std::string& directory) = 0;
  // Whether the desktop spans one wallpaper across all monitors (WallpaperStyle 22,
  // Windows 8 and later); otherwise the wallpaper is tiled from the primary monitor.
  virtual bool spanSupported() = 0;
};

// The desktop in use: the platform's own unless a test has put another in place.
DesktopApi& desktopApi();
// Puts api in place of the platform's desktop; nullptr restores the platform's.
void setDesktopApi(DesktopApi* api);

// Win32 in the Windows build; natively a desktop without monitors that refuses every
// wallpaper, on a real file system.
DesktopApi& platformDesktopApi();

}  // namespace tessaren
