// Wallpaper application. The desktop only ever sees a complete BMP: the new file is
// written beside the old one and renamed over it once the writer says "OK"; the style
// values and the wallpaper call come after that, never before.
#include "imaging/wallpaper.h"

#include <cstdio>

#include "imaging/bitmap_writer.h"
#include "imaging/desktop_api.h"
#include "imaging/jpeg_decoder.h"
#include "settings/registry_api.h"

namespace tessaren {
namespace {

constexpr const char* kDesktopKey = "Control Panel\\Desktop";

void writeDesktopValue(const std::string& name, const std::string& text) {
  ScopedRegistryKey key;
  if (registryApi().createKey(RegistryRoot::CurrentUser, kDesktopKey, kKeyAllAccess,
                              key.receive()) != kRegistryOk) {
    return;
  }
  registryApi().setValue(key.get(), name, kRegSz,
                         reinterpret_cast<const std::uint8_t*>(text.c_str()),
                         static_cast<std::uint32_t>(text.size() + 1));
}

}  // namespace

std::string partialBitmapPath(const std::string& bmpPath) { return bmpPath + ".part"; }

void writeWallpaperStyle(const std::string& text) { writeDesktopValue("WallpaperStyle", text); }

void writeTileWallpaper(const std::string& text) { writeDesktopValue("TileWallpaper", text); }

void writeDisplayModeStyle(std::int32_t displayMode) {
  switch (displayMode) {
    case 0:  // stretch
      writeWallpaperStyle("2");
      writeTileWallpaper("0");
      break;
    case 1:  // center
      writeWallpaperStyle("0");
      writeTileWallpaper("0");
      break;
    case 2:  // tile
      writeTileWallpaper("1");
      break;
    default:  // the desktop's own settings
      break;
  }
}

bool convertAndApply(const std::string& jpegPath, const std::string& bmpPath,
                     std::int32_t displayMode) {
  // Byte for byte what decodeJpegFile, reverseRows and swapRedBlue give, in one pass.
  std::optional<DecodedJpeg> decoded = decodeJpegFileForBitmap(jpegPath);
  if (!decoded) return false;
  if (decoded->endedEarly) {
    // Its lower part would be grey filler: keep the last good wallpaper.
    std::fprintf(stderr, "%s is cut short; the wallpaper stays as it was\n", jpegPath.c_str());
    return false;
  }

  const std::string partial = partialBitmapPath(bmpPath);
  BitmapWriter writer;
  const PixelBuffer& buffer = decoded->buffer;
  writer.write(partial, buffer.pixels.get(), buffer.width, buffer.height);
  decoded.reset();
  if (writer.status() != kBitmapOk) {
    std::fprintf(stderr, "%s: %s\n", partial.c_str(), writer.status().c_str());
    std::remove(partial.c_str());
    return false;
  }
  if (!desktopApi().replaceFile(partial, bmpPath)) {
    std::fprintf(stderr, "can't replace %s\n", bmpPath.c_str());
    std::remove(partial.c_str());
    return false;
  }

  writeDisplayModeStyle(displayMode);
  return desktopApi().setWallpaper(bmpPath);
}

}  // namespace tessaren
