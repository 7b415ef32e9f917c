// Test helpers over the decoder interface and BMP files.
#include "tests/imaging/decoding.h"

#include <cstdio>

#include "imaging/bitmap_file.h"

namespace tessaren::test {

Decoded decodeWhole(const std::string& path, int width, int height, const DecodeLimits& limits,
                    const std::atomic<bool>* stop) {
  Decoded decoded;
  OwnedFile file(std::fopen(path.c_str(), "rb"));
  std::uint8_t first[kFirstBytes];
  const std::size_t got = file ? std::fread(first, 1, sizeof first, file.get()) : 0;
  const std::optional<PictureFormat> format = pictureFormatOf({first, got});
  if (!format || std::fseek(file.get(), 0, SEEK_SET) != 0) {
    decoded.failure = Failure{FailureKind::NotAPicture, "not a picture"};
    return decoded;
  }
  const std::unique_ptr<PictureDecoder> decoder = makeDecoder(*format);
  const bool ok =
      decoder->open(std::move(file), limits, stop) &&
      decoder->start(width > 0 ? width : decoder->width(), height > 0 ? height : decoder->height());
  if (ok) {
    decoded.width = decoder->outputWidth();
    decoded.height = decoder->outputHeight();
    const std::size_t stride = std::size_t(decoded.width) * 3;
    decoded.bgr.resize(stride * std::size_t(decoded.height));
    for (int row = 0; row < decoded.height;) {
      std::uint8_t* rows[3];
      const int count = std::min(3, decoded.height - row);
      for (int i = 0; i < count; ++i) rows[i] = decoded.bgr.data() + (row + i) * stride;
      const int read = decoder->read(rows, count);
      if (read == 0) break;
      row += read;
    }
    decoder->finish();
  }
  decoded.failure = decoder->failure();
  decoded.endedEarly = decoder->endedEarly();
  return decoded;
}

Bitmap readBitmap(const std::string& path) {
  const Bytes file = readFile(path);
  Bitmap bitmap;
  if (file.size() < 54) return bitmap;
  auto field = [&](std::size_t at) {
    return int(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24);
  };
  const int width = field(18), height = field(22);
  const std::size_t stride = bitmapStride(width);
  if (file.size() != 54 + stride * std::size_t(height)) return bitmap;
  bitmap.width = width;
  bitmap.height = height;
  for (int y = height - 1; y >= 0; --y) {
    const auto row = file.begin() + 54 + std::ptrdiff_t(stride) * y;
    bitmap.bgr.insert(bitmap.bgr.end(), row, row + width * 3);
  }
  return bitmap;
}

Bytes asBgr(const Bytes& pixels, int components) {
  Bytes bgr;
  bgr.reserve(pixels.size() / components * 3);
  for (std::size_t i = 0; i + components <= pixels.size(); i += components) {
    const unsigned alpha = components == 4 ? pixels[i + 3] : 255;
    for (int c = 2; c >= 0; --c) bgr.push_back(overBlack(pixels[i + c], alpha));
  }
  return bgr;
}

}  // namespace tessaren::test
