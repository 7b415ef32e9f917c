// BMP files: 14-byte file header, 40-byte info header, rows padded to 4 bytes, bottom
// row first. Rows go out from the caller's band, never through a copy of the picture.
#include "imaging/bitmap_file.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <limits>

#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

namespace tessaren {
namespace {

constexpr std::uint32_t kHeaderBytes = 54;

void putLittleEndian(std::uint8_t* at, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

void putHeaders(std::uint8_t (&headers)[kHeaderBytes], std::uint64_t fileSize, std::int32_t width,
                std::int32_t height) {
  std::uint8_t* fileHeader = headers;
  std::uint8_t* infoHeader = headers + 14;
  std::fill(headers, headers + kHeaderBytes, 0);
  fileHeader[0] = 'B';
  fileHeader[1] = 'M';
  putLittleEndian(fileHeader + 2, static_cast<std::uint32_t>(fileSize), 4);
  putLittleEndian(fileHeader + 10, kHeaderBytes, 4);
  putLittleEndian(infoHeader + 0, 40, 4);
  putLittleEndian(infoHeader + 4, static_cast<std::uint32_t>(width), 4);
  putLittleEndian(infoHeader + 8, static_cast<std::uint32_t>(height), 4);  // positive: bottom-up
  putLittleEndian(infoHeader + 12, 1, 2);
  putLittleEndian(infoHeader + 14, 24, 2);
}

// A new file, never one that exists (nor a link planted under the name): _O_EXCL is
// CREATE_NEW.
std::FILE* createNew(const std::string& path) {
#ifdef _WIN32
  const int descriptor =
      _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
  std::FILE* file = descriptor < 0 ? nullptr : _fdopen(descriptor, "wb");
  if (descriptor >= 0 && file == nullptr) _close(descriptor);
#else
  const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
  std::FILE* file = descriptor < 0 ? nullptr : ::fdopen(descriptor, "wb");
  if (descriptor >= 0 && file == nullptr) ::close(descriptor);
#endif
  return file;
}

// Offsets past 2 GiB: the Windows C runtime's fseek takes a 32-bit long.
int seekTo(std::FILE* file, std::uint64_t offset) {
#ifdef _WIN32
  return _fseeki64(file, static_cast<long long>(offset), SEEK_SET);
#else
  return fseeko(file, static_cast<off_t>(offset), SEEK_SET);
#endif
}

}  // namespace

std::uint32_t bitmapStride(std::int32_t width) {
  return (24u * static_cast<std::uint32_t>(width) + 31u) / 32u * 4u;
}

std::uint64_t bitmapFileSize(std::int32_t width, std::int32_t height) {
  if (width < 0 || height < 0 || width > (1 << 27)) return 0;
  const std::uint64_t size =
      std::uint64_t{bitmapStride(width)} * static_cast<std::uint64_t>(height) + kHeaderBytes;
  return size > std::numeric_limits<std::uint32_t>::max() ? 0 : size;
}

bool BitmapFile::fail() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  return false;
}

bool BitmapFile::create(const std::string& path, std::int32_t width, std::int32_t height,
                        bool newOnly) {
  const std::uint64_t fileSize = bitmapFileSize(width, height);
  if (file_ || fileSize == 0) {
    error_ = EINVAL;
    return false;
  }
  errno = 0;
  file_.reset(newOnly ? createNew(path) : std::fopen(path.c_str(), "wb"));
  if (!file_) return fail();
  width_ = width;
  height_ = height;
  std::uint8_t headers[kHeaderBytes];
  putHeaders(headers, fileSize, width, height);
  if (std::fwrite(headers, sizeof headers, 1, file_.get()) != 1) return fail();
  return true;
}

bool BitmapFile::writeBand(std::int32_t top, std::int32_t count, const std::uint8_t* rows) {
  if (!file_ || error_ != 0) return false;
  if (top < 0 || count < 0 || count > height_ - top) {
    error_ = EINVAL;
    return false;
  }
  const std::uint64_t stride = bitmapStride(width_);
  const std::uint64_t lowestRow = static_cast<std::uint64_t>(height_ - top - count);
  const std::size_t bytes = static_cast<std::size_t>(stride * static_cast<std::uint64_t>(count));
  errno = 0;
  if (bytes == 0) return true;
  if (seekTo(file_.get(), kHeaderBytes + lowestRow * stride) != 0) return fail();
  if (std::fwrite(rows, bytes, 1, file_.get()) != 1) return fail();
  return true;
}

bool BitmapFile::close() {
  if (!file_) return false;
  errno = 0;
  // Buffered bytes only reach the disk here: a full disk must not pass for a complete file.
  const bool failedLate = std::ferror(file_.get()) != 0;
  const bool closed = std::fclose(file_.release()) == 0;
  if (!closed || failedLate) return fail();
  return error_ == 0;
}

}  // namespace tessaren
