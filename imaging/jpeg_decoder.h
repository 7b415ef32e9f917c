// JPEG file to pixel buffer, on the IJG interface of libjpeg-turbo. Every failure is
// reported on the standard error stream before the caller hears of it.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

struct jpeg_common_struct;

namespace tessaren {

struct FreeDeleter {
  void operator()(std::uint8_t* block) const { std::free(block); }
};

// One heap block of width x height x 3 bytes, rows packed without gaps.
struct PixelBuffer {
  std::unique_ptr<std::uint8_t[], FreeDeleter> pixels;
  std::int32_t width = 0;
  std::int32_t height = 0;

  std::size_t size() const {
    return static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3;
  }
};

struct DecodedJpeg {
  PixelBuffer buffer;
  // The file ended before the picture did: the rows past that point are the library's
  // grey filler. The decode still succeeds.
  bool endedEarly = false;
};

// Upper bounds for one decode. The defaults keep a small hostile file from taking
// gigabytes or minutes.
struct DecodeLimits {
  std::uint64_t maxPixelBytes = 512ull << 20;  // width x height x 3
  long maxLibraryMemory = 1l << 30;            // the library's own pools
  int maxScans = 100;                          // progressive scans
};

// Top row first, red, green, blue. Greyscale comes out as three equal bytes, CMYK and
// YCCK converted to red, green, blue.
std::optional<DecodedJpeg> decodeJpegFile(const std::string& jpegPath,
                                          const DecodeLimits& limits = {});

// The same pixels as decodeJpegFile followed by reverseRows and swapRedBlue (bottom row
// first, blue, green, red), decoded straight into place without the two extra passes.
std::optional<DecodedJpeg> decodeJpegFileForBitmap(const std::string& jpegPath,
                                                   const DecodeLimits& limits = {});

// In place: row i changes places with row height - 1 - i.
void reverseRows(std::uint8_t* pixels, std::int32_t width, std::int32_t height);
// In place: the first and third byte of every three-byte pixel change places.
void swapRedBlue(std::uint8_t* pixels, std::int32_t width, std::int32_t height);

// Stands in the error manager's error_exit: prints the library's message and jumps back
// to the decode's recovery point. Never returns.
[[noreturn]] void jpegErrorExit(jpeg_common_struct* info);

}  // namespace tessaren
