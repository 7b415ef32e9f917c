// The last stage of an update: the downloaded JPEG file becomes the BMP file and the
// desktop wallpaper, with the style values of the display mode.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

// Decodes jpegPath, writes bmpPath (through a temporary file that replaces it only when
// complete), writes the style values for displayMode and sets bmpPath as the wallpaper.
// True when the wallpaper was updated; false leaves the BMP file and the desktop as they were.
bool convertAndApply(const std::string& jpegPath, const std::string& bmpPath,
                     std::int32_t displayMode);

// Where the BMP file is written before it replaces bmpPath: the same directory, so that
// the replacement is a rename.
std::string partialBitmapPath(const std::string& bmpPath);

// One value under HKEY_CURRENT_USER\Control Panel\Desktop, as REG_SZ with its NUL.
void writeWallpaperStyle(const std::string& text);
void writeTileWallpaper(const std::string& text);

// The style values of a display mode: 0 stretch ("WallpaperStyle" 2, "TileWallpaper" 0),
// 1 center (0, 0), 2 tile ("TileWallpaper" 1 only); 3 and every other number leave the
// desktop's own settings alone.
void writeDisplayModeStyle(std::int32_t displayMode);

}  // namespace tessaren
