// libFuzzer target over the whole conversion, every format chosen by its signature as in
// the program. Whatever the bytes: a conversion either writes a complete BMP of the size
// its header gives or fails with a reason and leaves no file; a picture written at full
// size is written byte for byte the same when fitted to a monitor of its own size (the
// other pipeline: kept picture, resampler, canvas); and a Fit, Fill or Span drawing onto a
// layout taken from the input's last bytes comes out complete at the layout's size.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/bitmap_file.h"
#include "imaging/conversion.h"
#include "settings/display_mode.h"

namespace {

std::string scratch(const char* suffix) {
  return "/tmp/tessaren-fuzz-" + std::to_string(getpid()) + suffix;
}

std::vector<std::uint8_t> readAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return bytes;
  std::uint8_t block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
    bytes.insert(bytes.end(), block, block + n);
  }
  std::fclose(file);
  return bytes;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaren;
  static const std::string picturePath = scratch(".in");
  static const std::string fullPath = scratch("-full.bmp");
  static const std::string ownSizePath = scratch("-own.bmp");
  static const std::string drawnPath = scratch("-drawn.bmp");
  std::FILE* file = std::fopen(picturePath.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  // Large pictures convert correctly but slowly; keep the fuzzer on the parsing.
  ConversionRequest full;
  full.keepCutShort = true;
  full.limits = {.maxSide = 4096,
                 .maxPixels = 1u << 20,
                 .maxPixelBytes = 16u << 20,
                 .maxLibraryMemory = 64u << 20,
                 .maxFrames = 64};
  {
    // The header alone first: JPEG has no pixel limit of its own, DCT scaling being cheap.
    const std::optional<PictureFormat> format =
        pictureFormatOf({data, std::min(size, kFirstBytes)});
    if (format) {
      const std::unique_ptr<PictureDecoder> probe = makeDecoder(*format);
      if (probe->open(OwnedFile(std::fopen(picturePath.c_str(), "rb")), full.limits, nullptr) &&
          std::uint64_t(probe->width()) * std::uint64_t(probe->height()) > full.limits.maxPixels) {
        return 0;
      }
    }
  }

  for (const std::string* path : {&fullPath, &ownSizePath, &drawnPath}) std::remove(path->c_str());
  const ConversionResult streamed = convertToBitmap(picturePath, fullPath, full);
  if (streamed.failure) {
    if (exists(fullPath) || streamed.failure->detail.empty()) std::abort();
    return 0;
  }
  const std::vector<std::uint8_t> whole = readAll(fullPath);
  if (whole.size() != bitmapFileSize(streamed.width, streamed.height)) std::abort();

  ConversionRequest ownSize = full;
  ownSize.drawn = DisplayMode::Fit;
  ownSize.monitors = {{{0, 0, streamed.width, streamed.height}, true}};
  const ConversionResult fitted = convertToBitmap(picturePath, ownSizePath, ownSize);
  if (fitted.failure || readAll(ownSizePath) != whole) std::abort();

  // Up to two monitors of 1 to 96 pixels a side, the second anywhere around the first.
  if (size < 6) return 0;
  const std::uint8_t* tail = data + size - 6;
  ConversionRequest drawn = full;
  const DisplayMode modes[] = {DisplayMode::Fit, DisplayMode::Fill, DisplayMode::Span};
  drawn.drawn = modes[tail[0] % 3];
  drawn.tiled = (tail[0] & 4) != 0;
  drawn.monitors = {{{0, 0, 1 + tail[1] % 96, 1 + tail[2] % 96}, true}};
  if (tail[0] & 8) {
    const int left = tail[3] % 200 - 100, top = tail[4] % 200 - 100;
    drawn.monitors.push_back({{left, top, left + 1 + tail[5] % 64, top + 1 + tail[5] % 48}, false});
  }
  const ConversionResult result = convertToBitmap(picturePath, drawnPath, drawn);
  if (result.failure || result.width != streamed.width || result.height != streamed.height) {
    std::abort();
  }
  const CanvasLayout layout =
      layOut(*drawn.drawn, result.width, result.height, drawn.monitors, drawn.tiled);
  if (readAll(drawnPath).size() != bitmapFileSize(layout.width, layout.height)) std::abort();
  return 0;
}
