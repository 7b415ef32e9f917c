// The desktop calls of the wallpaper step, behind one small interface: the Win32 side
// (desktop_win32.cpp) passes them straight on, and native tests stand in a double.
#pragma once

#include <string>

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
};

// The desktop in use: the platform's own unless a test has put another in place.
DesktopApi& desktopApi();
// Puts api in place of the platform's desktop; nullptr restores the platform's.
void setDesktopApi(DesktopApi* api);

// Win32 in the Windows build; natively a desktop that refuses every wallpaper.
DesktopApi& platformDesktopApi();

}  // namespace tessaren
