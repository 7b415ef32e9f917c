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

}  // namespace tessaren
