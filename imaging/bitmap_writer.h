// Writes a bottom-up blue-green-red pixel buffer as an uncompressed 24-bit BMP file.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

inline constexpr const char* kBitmapOk = "OK";
inline constexpr const char* kBitmapCannotOpen = "Can't open file for writing";
inline constexpr const char* kBitmapWriteError = "fwrite error\nGiving up";

// Length of one row in the file: 3 x width bytes rounded up to a multiple of 4.
std::uint32_t bitmapStride(std::int32_t width);

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

}  // namespace tessaren
