// libFuzzer target over the whole conversion: the streamed full-size BMP must be byte for
// byte what the whole-buffer decode, the two in-place steps and the BMP writer make, and
// a Fit, Fill or Span drawing (scaled decode, resampling, tile roll) onto a layout taken
// from the input's last bytes must come out complete at the layout's size.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/bitmap_writer.h"
#include "imaging/conversion.h"
#include "imaging/jpeg_decoder.h"

namespace {

std::string scratch(const char* suffix) {
  return "/tmp/tessaren-fuzz-" + std::to_string(getpid()) + suffix;
}

std::vector<std::uint8_t> readAll(const std::string& path) {
  std::vector<std::uint8_t> bytes;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) std::abort();
  std::uint8_t block[65536];
  for (std::size_t n; (n = std::fread(block, 1, sizeof block, file)) > 0;) {
    bytes.insert(bytes.end(), block, block + n);
  }
  std::fclose(file);
  return bytes;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaren;
  static const std::string jpegPath = scratch(".jpg");
  static const std::string streamedPath = scratch("-streamed.bmp");
  static const std::string wholePath = scratch("-whole.bmp");
  static const std::string drawnPath = scratch("-drawn.bmp");
  std::FILE* file = std::fopen(jpegPath.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  // Large pictures convert correctly but slowly; keep the fuzzer on the parsing. The
  // streamed path has no pixel cap of its own, so look at the header first.
  const DecodeLimits limits{.maxPixelBytes = 3u << 20, .maxLibraryMemory = 64l << 20};
  {
    JpegReader probe;
    if (probe.open(jpegPath, limits) &&
        std::uint64_t(probe.width()) * std::uint64_t(probe.height()) * 3 > limits.maxPixelBytes) {
      return 0;
    }
  }

  auto named = decodeJpegFile(jpegPath, limits);
  ConversionRequest full;
  full.keepCutShort = true;
  full.limits = limits;
  const ConversionResult streamed = convertJpegToBitmap(jpegPath, streamedPath, full);
  if (streamed.written != named.has_value()) std::abort();
  if (!named) return 0;
  if (streamed.cutShort != named->endedEarly || !streamed.reason.empty()) std::abort();

  PixelBuffer& buffer = named->buffer;
  reverseRows(buffer.pixels.get(), buffer.width, buffer.height);
  swapRedBlue(buffer.pixels.get(), buffer.width, buffer.height);
  BitmapWriter writer;
  writer.write(wholePath, buffer.pixels.get(), buffer.width, buffer.height);
  if (writer.status() != kBitmapOk) std::abort();
  const std::vector<std::uint8_t> whole = readAll(wholePath);
  if (whole.size() != bitmapFileSize(buffer.width, buffer.height)) std::abort();
  if (readAll(streamedPath) != whole) std::abort();

  // Up to two monitors of 1 to 96 pixels a side, the second anywhere around the first.
  if (size < 6) return 0;
  const std::uint8_t* tail = data + size - 6;
  ConversionRequest drawn = full;
  drawn.fit = static_cast<FitMode>(tail[0] % 3);
  drawn.tiled = (tail[0] & 4) != 0;
  drawn.monitors = {{{0, 0, 1 + tail[1] % 96, 1 + tail[2] % 96}, true}};
  if (tail[0] & 8) {
    const int left = tail[3] % 200 - 100, top = tail[4] % 200 - 100;
    drawn.monitors.push_back({{left, top, left + 1 + tail[5] % 64, top + 1 + tail[5] % 48}, false});
  }
  const ConversionResult result = convertJpegToBitmap(jpegPath, drawnPath, drawn);
  if (!result.written || result.width != buffer.width || result.height != buffer.height) {
    std::abort();
  }
  const CanvasLayout layout =
      layOut(*drawn.fit, buffer.width, buffer.height, drawn.monitors, drawn.tiled);
  if (readAll(drawnPath).size() != bitmapFileSize(layout.width, layout.height)) std::abort();
  return 0;
}
