// The desktop, at the level of what the wallpaper step needs of it: the monitors, whether
// it spans one wallpaper across them, and the one call that sets the wallpaper. Win32 in
// desktop_win32.cpp, covered by a test under Wine; tests elsewhere stand in a double.
#pragma once

#include <string>
#include <vector>

#include "imaging/picture_geometry.h"

namespace tessaren {

class DesktopApi {
 public:
  virtual ~DesktopApi() = default;
  // Makes bmpPath the wallpaper and tells every program so; true when the system took it.
  virtual bool setWallpaper(const std::string& bmpPath) = 0;
  // The path of the wallpaper shown now (SPI_GETDESKWALLPAPER); empty for none.
  virtual std::string wallpaper() = 0;
  // Every monitor's rectangle in virtual-screen pixels, in the system's order; empty when
  // there is no desktop.
  virtual std::vector<Monitor> monitors() = 0;
  // The monitors' rectangles and scales as one text: another text means another layout,
  // and a picture drawn for the monitors must be drawn again.
  virtual std::string monitorLayout() = 0;
  // Whether the desktop spans one wallpaper across all monitors (Windows 8 and later);
  // otherwise the wallpaper is tiled from the primary monitor.
  virtual bool spanSupported() = 0;
};

// The Windows desktop. Windows build only.
DesktopApi& platformDesktop();

}  // namespace tessaren
