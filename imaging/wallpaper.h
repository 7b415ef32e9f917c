// The last stage of an update: the downloaded JPEG file becomes the BMP file and the
// desktop wallpaper, with the style values of the display mode.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace tessaren {

// Display modes as the "display" setting stores them. 0 to 3 show the picture at its own
// size; Fit, Fill and Span are drawn here at the monitors' own pixel sizes.
inline constexpr std::int32_t kDisplayStretch = 0;
inline constexpr std::int32_t kDisplayCenter = 1;
inline constexpr std::int32_t kDisplayTile = 2;
inline constexpr std::int32_t kDisplayDesktopSettings = 3;
inline constexpr std::int32_t kDisplayFit = 4;   // whole picture on each monitor, black around
inline constexpr std::int32_t kDisplayFill = 5;  // each monitor covered, cropped at the centre
inline constexpr std::int32_t kDisplaySpan = 6;  // one picture across all monitors

// What one conversion-and-apply did, for the log and the tray tip.
struct ApplyResult {
  bool applied = false;  // the wallpaper was set
  std::string reason;    // empty on success; otherwise a short reason a user can act on,
                         // e.g. "not a JPEG picture", "JPEG cut short",
                         // "can't write C:\...\tessaren.bmp: disk full",
                         // "not enough free space on C:\ for a 350 MB picture", "cancelled"
  std::int32_t width = 0, height = 0;  // the picture's own size, once its header was read
};

// Decodes jpegPath, writes bmpPath (through a temporary file that replaces it only when
// complete), writes the style values for displayMode and sets bmpPath as the wallpaper.
// stop may be null; when it becomes true the conversion stops between bands of rows,
// removes its .part file, leaves the old BMP/style values/wallpaper untouched, and
// returns reason "cancelled". Safe to call from a worker thread: it touches no window.
ApplyResult convertAndApply(const std::string& jpegPath, const std::string& bmpPath,
                            std::int32_t displayMode, const std::atomic<bool>* stop = nullptr);

// Where the BMP file is written before it replaces bmpPath: the same directory, so that
// the replacement is a rename.
std::string partialBitmapPath(const std::string& bmpPath);

// One value under HKEY_CURRENT_USER\Control Panel\Desktop, as REG_SZ with its NUL.
void writeWallpaperStyle(const std::string& text);
void writeTileWallpaper(const std::string& text);

// The two values a display mode writes; nullptr leaves that value alone.
struct WallpaperStyleValues {
  const char* wallpaperStyle = nullptr;
  const char* tileWallpaper = nullptr;
};
// 0 stretch ("2", "0"), 1 center ("0", "0"), 2 tile ("0", "1"). Fit, Fill and Span
// show a BMP already drawn at the monitors' size unscaled: spanned ("22", "0") where the
// desktop can span, else tiled from the primary monitor ("0", "1"). 3 and every other
// number leave the desktop's own settings alone.
WallpaperStyleValues wallpaperStyleValues(std::int32_t displayMode, bool spanSupported);

// Writes the values of wallpaperStyleValues, asking the desktop whether it can span.
void writeDisplayModeStyle(std::int32_t displayMode);

}  // namespace tessaren
