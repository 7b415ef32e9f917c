// How the picture is placed on the desktop: the number the display setting stores, the
// name Properties shows, and the desktop style values each mode writes, in one table.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace tessaren {

enum class DisplayMode : std::int32_t {
  Stretch = 0,
  Center = 1,
  Tile = 2,
  DesktopSettings = 3,  // the desktop's own style values are left alone
  Fit = 4,              // the whole picture on each monitor, black around it
  Fill = 5,             // each monitor covered, cropped at the centre
  Span = 6,             // one picture across all monitors
};

struct DisplayModeInfo {
  DisplayMode mode;
  std::string_view name;  // as Properties lists it, in the order of the numbers
  // What the settings table's WallpaperStyle and TileWallpaper rows get; empty leaves the
  // value alone. The modes Tessaren draws itself show their BMP unscaled, spanned from the
  // bounding box's corner where the desktop can span (Windows 8 and later).
  std::string_view wallpaperStyle;
  std::string_view tileWallpaper;
  bool drawnForTheMonitors;  // drawn here at each monitor's own pixel size
};

inline constexpr DisplayModeInfo kDisplayModes[] = {
    {DisplayMode::Stretch, "Stretch", "2", "0", false},
    {DisplayMode::Center, "Center", "0", "0", false},
    {DisplayMode::Tile, "Tile", "0", "1", false},
    {DisplayMode::DesktopSettings, "[Use Windows Desktop Settings]", "", "", false},
    {DisplayMode::Fit, "Fit", "22", "0", true},
    {DisplayMode::Fill, "Fill", "22", "0", true},
    {DisplayMode::Span, "Span", "22", "0", true},
};

// Where the desktop cannot span (before Windows 8, and Wine), a drawn BMP is tiled from
// the primary monitor's top-left corner instead, rolled so each part lands on its monitor.
inline constexpr std::string_view kTiledWallpaperStyle = "0";
inline constexpr std::string_view kTiledTileWallpaper = "1";

constexpr const DisplayModeInfo& displayModeInfo(DisplayMode mode) {
  for (const DisplayModeInfo& info : kDisplayModes)
    if (info.mode == mode) return info;
  return kDisplayModes[static_cast<int>(DisplayMode::DesktopSettings)];
}

// The mode a stored number means; nothing for a number that is no mode.
constexpr std::optional<DisplayMode> displayModeFromNumber(std::int32_t number) {
  for (const DisplayModeInfo& info : kDisplayModes)
    if (static_cast<std::int32_t>(info.mode) == number) return info.mode;
  return std::nullopt;
}

constexpr bool drawnForTheMonitors(DisplayMode mode) {
  return displayModeInfo(mode).drawnForTheMonitors;
}

}  // namespace tessaren
