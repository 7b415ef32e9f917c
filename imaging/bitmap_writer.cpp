// BMP writer: 14-byte file header, 40-byte info header, rows padded to 4 bytes. One
// write per row from the caller's buffer, never a copy of the picture.
#include "imaging/bitmap_writer.h"

#include <cstdio>
#include <limits>

namespace tessaren {
namespace {

constexpr std::uint32_t kHeaderBytes = 54;
constexpr std::size_t kStreamBufferBytes = 64 * 1024;

void putLittleEndian(std::uint8_t* at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace

std::uint32_t bitmapStride(std::int32_t width) {
  return (24u * static_cast<std::uint32_t>(width) + 31u) / 32u * 4u;
}

void BitmapWriter::write(const std::string& path, const std::uint8_t* pixels, std::int32_t width,
                         std::int32_t height) {
  status_ = kBitmapOk;

  // A negative side, or a file whose size does not fit its 32-bit size field, cannot be
  // written correctly; refuse before any file is touched.
  const std::uint64_t fileSize =
      width < 0 || height < 0
          ? std::numeric_limits<std::uint64_t>::max()
          : std::uint64_t{bitmapStride(width)} * static_cast<std::uint64_t>(height) + kHeaderBytes;
  if (width < 0 || height < 0 || width > (1 << 27) ||
      fileSize > std::numeric_limits<std::uint32_t>::max()) {
    status_ = kBitmapWriteError;
    return;
  }
  const std::uint32_t stride = bitmapStride(width);
  const std::size_t rowBytes = static_cast<std::size_t>(width) * 3;

  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) {
    status_ = kBitmapCannotOpen;
    return;
  }

  // The Windows C runtime's default 4 KiB buffer splits every row into several system
  // writes; 64 KiB lets a few rows go out in one. Still one fwrite per row.
  std::setvbuf(file, nullptr, _IOFBF, kStreamBufferBytes);
  std::uint8_t fileHeader[14] = {'B', 'M'};
  putLittleEndian(fileHeader + 2, static_cast<std::uint32_t>(fileSize), 4);
  putLittleEndian(fileHeader + 10, kHeaderBytes, 4);
  std::uint8_t infoHeader[40] = {};
  putLittleEndian(infoHeader + 0, 40, 4);
  putLittleEndian(infoHeader + 4, static_cast<std::uint32_t>(width), 4);
  putLittleEndian(infoHeader + 8, static_cast<std::uint32_t>(height), 4);  // positive: bottom-up
  putLittleEndian(infoHeader + 12, 1, 2);
  putLittleEndian(infoHeader + 14, 24, 2);
  std::fwrite(fileHeader, sizeof fileHeader, 1, file);
  std::fwrite(infoHeader, sizeof infoHeader, 1, file);

  const std::uint8_t zero = 0;
  for (std::int32_t row = 0; row < height; ++row) {
    // A zero-length item counts as written: fwrite reports 0 items for it.
    if (rowBytes > 0 && std::fwrite(pixels, rowBytes, 1, file) != 1) {
      status_ = kBitmapWriteError;
      break;
    }
    for (std::size_t pad = rowBytes; pad < stride; ++pad) std::fwrite(&zero, 1, 1, file);
    pixels += rowBytes;
  }

  // Buffered bytes (headers, padding, the last rows) only reach the disk here: a full
  // disk must not pass for a complete file.
  const bool failedLate = std::ferror(file) != 0;
  if (std::fclose(file) != 0 || failedLate) status_ = kBitmapWriteError;
}

}  // namespace tessaren
