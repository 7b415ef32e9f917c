// Wallpaper application. The desktop only ever sees a complete BMP: the new file is
// written beside the old one and renamed over it once it is complete; the style values
// and the wallpaper call come after that, never before.
#include "imaging/wallpaper.h"

#include <cstdio>

#include "imaging/conversion.h"
#include "imaging/desktop_api.h"
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

bool drawnMode(std::int32_t displayMode) {
  return displayMode == kDisplayFit || displayMode == kDisplayFill || displayMode == kDisplaySpan;
}

void writeStyleValues(const WallpaperStyleValues& values) {
  if (values.wallpaperStyle) writeWallpaperStyle(values.wallpaperStyle);
  if (values.tileWallpaper) writeTileWallpaper(values.tileWallpaper);
}

}  // namespace

std::string partialBitmapPath(const std::string& bmpPath) { return bmpPath + ".part"; }

void writeWallpaperStyle(const std::string& text) { writeDesktopValue("WallpaperStyle", text); }

void writeTileWallpaper(const std::string& text) { writeDesktopValue("TileWallpaper", text); }

WallpaperStyleValues wallpaperStyleValues(std::int32_t displayMode, bool spanSupported) {
  switch (displayMode) {
    case kDisplayStretch:
      return {"2", "0"};
    case kDisplayCenter:
      return {"0", "0"};
    case kDisplayTile:
      return {"0", "1"};
    case kDisplayFit:
    case kDisplayFill:
    case kDisplaySpan:
      return spanSupported ? WallpaperStyleValues{"22", "0"} : WallpaperStyleValues{"0", "1"};
    default:  // the desktop's own settings
      return {};
  }
}

void writeDisplayModeStyle(std::int32_t displayMode) {
  const bool span = drawnMode(displayMode) && desktopApi().spanSupported();
  writeStyleValues(wallpaperStyleValues(displayMode, span));
}

ApplyResult convertAndApply(const std::string& jpegPath, const std::string& bmpPath,
                            std::int32_t displayMode, const std::atomic<bool>* stop) {
  ConversionRequest request;
  request.stop = stop;
  request.shownPath = bmpPath;
  bool span = false;
  if (drawnMode(displayMode)) {
    request.drawn = static_cast<DisplayMode>(displayMode);
    request.monitors = desktopApi().monitors();
    // One answer for both the drawing and the style values.
    span = desktopApi().spanSupported();
    request.tiled = !span;
  }

  const std::string partial = partialBitmapPath(bmpPath);
  const ConversionResult converted = convertToBitmap(jpegPath, partial, request);
  ApplyResult result;
  result.width = converted.width;
  result.height = converted.height;
  if (converted.failure) {
    result.reason = converted.failure->detail;
    return result;
  }
  if (stop != nullptr && stop->load()) {
    std::remove(partial.c_str());
    result.reason = "cancelled";
    return result;
  }
  if (!desktopApi().replaceFile(partial, bmpPath)) {
    std::remove(partial.c_str());
    result.reason = "can't replace " + bmpPath;
    return result;
  }

  writeStyleValues(wallpaperStyleValues(displayMode, span));
  if (!desktopApi().setWallpaper(bmpPath)) {
    result.reason = "the desktop did not take " + bmpPath + " as its wallpaper";
    return result;
  }
  result.applied = true;
  return result;
}

}  // namespace tessaren
