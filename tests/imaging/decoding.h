// What the imaging tests share: a picture file decoded whole through the common decoder
// interface, BMP files read back, and pixels turned into what a BMP holds.
#pragma once

#include <atomic>
#include <optional>
#include <string>

#include "imaging/picture_decoder.h"
#include "tests/support/test_pictures.h"

namespace tessaren::test {

struct Decoded {
  std::optional<Failure> failure;
  int width = 0;  // as decoded
  int height = 0;
  Bytes bgr;  // top row first
  bool endedEarly = false;
};
// Decodes the file at width x height (the picture's own size when 0), a few rows a call.
Decoded decodeWhole(const std::string& path, int width = 0, int height = 0,
                    const DecodeLimits& limits = {}, const std::atomic<bool>* stop = nullptr);

// A 24-bit BMP file as top-down rows of blue, green, red, without the padding.
struct Bitmap {
  int width = 0, height = 0;
  Bytes bgr;
  const std::uint8_t* at(int x, int y) const { return &bgr[(std::size_t(y) * width + x) * 3]; }
};
Bitmap readBitmap(const std::string& path);

// Red, green, blue (and alpha, when components is 4, laid over black) as blue, green, red.
Bytes asBgr(const Bytes& pixels, int components);

}  // namespace tessaren::test
