// The last step of an update: the finished BMP becomes the wallpaper, with the desktop
// style values of its display mode written first.
#pragma once

#include <optional>
#include <string>

#include "imaging/desktop_api.h"
#include "platform/failure.h"
#include "settings/display_mode.h"
#include "settings/value_store.h"

namespace tessaren {

// The two values a display mode writes; empty leaves that value alone. spanned: the
// desktop spans (Windows 8 and later), so a drawn BMP is shown from the bounding box's
// corner; otherwise it is tiled from the primary monitor.
struct WallpaperStyleValues {
  std::string_view wallpaperStyle;
  std::string_view tileWallpaper;
};
WallpaperStyleValues wallpaperStyleValues(DisplayMode mode, bool spanned);

// Writes WallpaperStyle and TileWallpaper for mode, then sets bmpPath as the wallpaper.
// Nothing on success; DesktopRefused when the desktop did not take it.
std::optional<Failure> applyWallpaper(ValueStore& store, DesktopApi& desktop,
                                      const std::string& bmpPath, DisplayMode mode, bool spanned);

}  // namespace tessaren
