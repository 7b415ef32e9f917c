// Uncompressed 24-bit BMP files written one band of rows at a time, in any order.
#pragma once

#include <cstdint>
#include <string>

#include "platform/handles.h"

namespace tessaren {

// Length of one row in the file: 3 x width bytes rounded up to a multiple of 4.
std::uint32_t bitmapStride(std::int32_t width);

// The whole file's size, headers included; 0 for sizes no BMP file can hold (a negative
// side, or more than its 32-bit size field counts).
std::uint64_t bitmapFileSize(std::int32_t width, std::int32_t height);

// A BMP file whose size is fixed by its header, filled in bands of rows in any order:
// pictures decoded top row first go out without ever being whole in memory, although
// the file stores them bottom row first.
class BitmapFile {
 public:
  // Creates path (replacing a file there, unless newOnly: then nothing may have that name
  // yet, a link planted there included) and writes both headers.
  bool create(const std::string& path, std::int32_t width, std::int32_t height,
              bool newOnly = false);
  // Writes count rows, the first of them `top` rows below the picture's top edge. rows
  // holds them as the file does: lowest row first, bitmapStride(width) bytes each with
  // the padding.
  bool writeBand(std::int32_t top, std::int32_t count, const std::uint8_t* rows);
  // True when every byte reached the file.
  bool close();

  // The C library's error number of the first failure, 0 when there was none.
  int error() const { return error_; }
  // Between a create that got as far as making the file, and close.
  bool isOpen() const { return static_cast<bool>(file_); }

 private:
  bool fail();

  OwnedFile file_;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  int error_ = 0;
};

}  // namespace tessaren
