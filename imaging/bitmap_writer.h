// Uncompressed 24-bit BMP files: BitmapWriter writes one from a whole bottom-up
// blue-green-red buffer, BitmapFile writes one band of rows at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace tessaren {

inline constexpr const char* kBitmapOk = "OK";
inline constexpr const char* kBitmapCannotOpen = "Can't open file for writing";
inline constexpr const char* kBitmapWriteError = "fwrite error\nGiving up";

// Length of one row in the file: 3 x width bytes rounded up to a multiple of 4.
std::uint32_t bitmapStride(std::int32_t width);

// The whole file's size, headers included; 0 for sizes no BMP file can hold (a negative
// side, or more than its 32-bit size field counts).
std::uint64_t bitmapFileSize(std::int32_t width, std::int32_t height);

class BitmapWriter {
 public:
  BitmapWriter() = default;

  // Writes the whole file at path, straight from pixels (height rows of 3 x width bytes,
  // bottom row first). The outcome is left in status().
  void write(const std::string& path, const std::uint8_t* pixels, std::int32_t width,
             std::int32_t height);

  const std::string& status() const { return status_; }

 private:
  std::string status_ = kBitmapOk;
};

// A BMP file whose size is fixed by its header, filled in bands of rows in any order:
// pictures decoded top row first go out without ever being whole in memory, although
// the file stores them bottom row first.
class BitmapFile {
 public:
  BitmapFile() = default;
  ~BitmapFile();
  BitmapFile(const BitmapFile&) = delete;
  BitmapFile& operator=(const BitmapFile&) = delete;

  // Creates path and writes both headers.
  bool create(const std::string& path, std::int32_t width, std::int32_t height);
  // Writes count rows, the first of them `top` rows below the picture's top edge. rows
  // holds them as the file does: lowest row first, bitmapStride(width) bytes each with
  // the padding.
  bool writeBand(std::int32_t top, std::int32_t count, const std::uint8_t* rows);
  // True when every byte reached the file.
  bool close();

  // The C library's error number of the first failure, 0 when there was none.
  int error() const { return error_; }
  // Between a create that got as far as making the file, and close.
  bool isOpen() const { return file_ != nullptr; }

 private:
  bool fail();

  std::FILE* file_ = nullptr;
  std::int32_t width_ = 0;
  std::int32_t height_ = 0;
  int error_ = 0;
};

}  // namespace tessaren
