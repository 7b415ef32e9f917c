// Reading the one Orientation tag from EXIF data, and turning rows into place. The tag is
// all Tessaren wants from EXIF, so it reads the TIFF header and the first directory itself
// rather than take in a whole EXIF library with its makers' notes parsers: a few bounded
// reads, fuzzed with the decoders.
#include "imaging/orientation.h"

#include <cstring>

namespace tessaren {
namespace {

constexpr std::uint16_t kOrientationTag = 0x0112;
constexpr std::uint16_t kShortType = 3;
constexpr std::size_t kEntryBytes = 12;

class TiffReader {
 public:
  TiffReader(std::span<const std::uint8_t> bytes, bool bigEndian)
      : bytes_(bytes), bigEndian_(bigEndian) {}

  // False when the field would reach past the end.
  bool read16(std::size_t at, std::uint16_t& value) const {
    if (at > bytes_.size() || bytes_.size() - at < 2) return false;
    const std::uint8_t* p = bytes_.data() + at;
    value = bigEndian_ ? std::uint16_t(p[0] << 8 | p[1]) : std::uint16_t(p[1] << 8 | p[0]);
    return true;
  }
  bool read32(std::size_t at, std::uint32_t& value) const {
    std::uint16_t first = 0, second = 0;
    if (!read16(at, first) || !read16(at + 2, second)) return false;
    value = bigEndian_ ? std::uint32_t(first) << 16 | second : std::uint32_t(second) << 16 | first;
    return true;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  bool bigEndian_;
};

}  // namespace

Orientation exifOrientation(std::span<const std::uint8_t> exif) {
  // JPEG's APP1 segment names itself; PNG's and WebP's chunks should not, but some writers
  // copy the segment whole.
  static constexpr std::uint8_t kExifName[] = {'E', 'x', 'i', 'f', 0, 0};
  if (exif.size() >= sizeof kExifName &&
      std::memcmp(exif.data(), kExifName, sizeof kExifName) == 0) {
    exif = exif.subspan(sizeof kExifName);
  }
  if (exif.size() < 8) return Orientation::AsStored;
  bool bigEndian;
  if (exif[0] == 'I' && exif[1] == 'I') {
    bigEndian = false;
  } else if (exif[0] == 'M' && exif[1] == 'M') {
    bigEndian = true;
  } else {
    return Orientation::AsStored;
  }
  const TiffReader tiff(exif, bigEndian);
  std::uint16_t magic = 0, entries = 0;
  std::uint32_t directory = 0;
  if (!tiff.read16(2, magic) || magic != 42 || !tiff.read32(4, directory) ||
      !tiff.read16(directory, entries)) {
    return Orientation::AsStored;
  }
  // At most 65535 entries, each read checked: the loop ends at the block's end.
  for (std::size_t i = 0, at = std::size_t(directory) + 2; i < entries; ++i, at += kEntryBytes) {
    std::uint16_t tag = 0, type = 0, value = 0;
    std::uint32_t count = 0;
    if (!tiff.read16(at, tag) || !tiff.read16(at + 2, type) || !tiff.read32(at + 4, count) ||
        !tiff.read16(at + 8, value)) {
      break;
    }
    if (tag != kOrientationTag) continue;
    if (type != kShortType || count != 1 || value < 1 || value > 8) break;
    return static_cast<Orientation>(value);
  }
  return Orientation::AsStored;
}

RowPlace placeOfRow(Orientation orientation, std::int32_t width, std::int32_t height,
                    std::int32_t row, std::size_t uprightStride) {
  const auto stride = static_cast<std::ptrdiff_t>(uprightStride);
  const std::ptrdiff_t y = row, lastX = width - 1, lastY = height - 1;
  // Stored pixel (x, y) goes to upright column u, row v; first is pixel x = 0's place.
  switch (orientation) {
    case Orientation::AsStored:
      return {y * stride, 3};
    case Orientation::Mirrored:  // (lastX - x, y)
      return {y * stride + lastX * 3, -3};
    case Orientation::Turned180:  // (lastX - x, lastY - y)
      return {(lastY - y) * stride + lastX * 3, -3};
    case Orientation::Flipped:  // (x, lastY - y)
      return {(lastY - y) * stride, 3};
    case Orientation::Transposed:  // (y, x)
      return {y * 3, stride};
    case Orientation::TurnedClockwise:  // (lastY - y, x)
      return {(lastY - y) * 3, stride};
    case Orientation::Transversed:  // (lastY - y, lastX - x)
      return {lastX * stride + (lastY - y) * 3, -stride};
    case Orientation::TurnedAnticlockwise:  // (y, lastX - x)
      return {lastX * stride + y * 3, -stride};
  }
  return {y * stride, 3};
}

void placeRow(const std::uint8_t* row, std::int32_t width, std::uint8_t* upright,
              const RowPlace& place) {
  std::uint8_t* to = upright + place.first;
  if (place.step == 3) {
    std::memcpy(to, row, std::size_t(width) * 3);
    return;
  }
  for (std::int32_t x = 0; x < width; ++x, row += 3, to += place.step) {
    to[0] = row[0], to[1] = row[1], to[2] = row[2];
  }
}

}  // namespace tessaren
