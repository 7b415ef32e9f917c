// libFuzzer target over the whole conversion: decode both ways, the two in-place steps,
// and the BMP writer, with a check that the two decodes agree and the file is complete.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "imaging/bitmap_writer.h"
#include "imaging/jpeg_decoder.h"

namespace {

std::string scratch(const char* suffix) {
  return "/tmp/tessaren-fuzz-" + std::to_string(getpid()) + suffix;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaren;
  static const std::string jpegPath = scratch(".jpg");
  static const std::string bmpPath = scratch(".bmp");
  std::FILE* file = std::fopen(jpegPath.c_str(), "wb");
  if (file == nullptr) std::abort();
  if (size > 0) std::fwrite(data, 1, size, file);
  std::fclose(file);

  // Large pictures decode correctly but slowly; keep the fuzzer on the parsing.
  const DecodeLimits limits{.maxPixelBytes = 3u << 20, .maxLibraryMemory = 64l << 20};
  auto named = decodeJpegFile(jpegPath, limits);
  auto direct = decodeJpegFileForBitmap(jpegPath, limits);
  if (named.has_value() != direct.has_value()) std::abort();
  if (!named) return 0;

  PixelBuffer& buffer = named->buffer;
  reverseRows(buffer.pixels.get(), buffer.width, buffer.height);
  swapRedBlue(buffer.pixels.get(), buffer.width, buffer.height);
  if (buffer.width != direct->buffer.width || buffer.height != direct->buffer.height ||
      std::memcmp(buffer.pixels.get(), direct->buffer.pixels.get(), buffer.size()) != 0) {
    std::abort();
  }

  BitmapWriter writer;
  writer.write(bmpPath, buffer.pixels.get(), buffer.width, buffer.height);
  if (writer.status() != kBitmapOk) std::abort();
  file = std::fopen(bmpPath.c_str(), "rb");
  std::fseek(file, 0, SEEK_END);
  const long written = std::ftell(file);
  std::fclose(file);
  if (static_cast<std::uint64_t>(written) !=
      54 + std::uint64_t{bitmapStride(buffer.width)} * static_cast<std::uint64_t>(buffer.height)) {
    std::abort();
  }
  return 0;
}
