// The style values and the wallpaper call.
#include "imaging/wallpaper.h"

#include "platform/text.h"
#include "settings/settings_table.h"

namespace tessaren {

WallpaperStyleValues wallpaperStyleValues(DisplayMode mode, bool spanned) {
  const DisplayModeInfo& info = displayModeInfo(mode);
  if (info.drawnForTheMonitors && !spanned) return {kTiledWallpaperStyle, kTiledTileWallpaper};
  return {info.wallpaperStyle, info.tileWallpaper};
}

std::optional<Failure> applyWallpaper(ValueStore& store, DesktopApi& desktop,
                                      const std::string& bmpPath, DisplayMode mode, bool spanned) {
  const WallpaperStyleValues values = wallpaperStyleValues(mode, spanned);
  if (!values.wallpaperStyle.empty())
    writeValue(store, ValueId::WallpaperStyle, std::string(values.wallpaperStyle));
  if (!values.tileWallpaper.empty())
    writeValue(store, ValueId::TileWallpaper, std::string(values.tileWallpaper));
  if (desktop.setWallpaper(bmpPath)) return std::nullopt;
  return Failure{FailureKind::DesktopRefused,
                 "the desktop did not take " + displaySafe(bmpPath, 120) + " as its wallpaper"};
}

}  // namespace tessaren
