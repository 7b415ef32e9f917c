// The way a picture's stored rows are turned to show it upright, as the Orientation tag of
// its EXIF data says (JPEG's APP1 segment, PNG's eXIf chunk, WebP's EXIF chunk), and the
// placing of each stored row in the upright picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace tessaren {

// The tag's eight values, each named by what shows the picture upright.
enum class Orientation : std::uint8_t {
  AsStored = 1,
  Mirrored = 2,             // left and right swapped
  Turned180 = 3,            // upside down
  Flipped = 4,              // top and bottom swapped
  Transposed = 5,           // mirrored about the diagonal from the top-left corner
  TurnedClockwise = 6,      // a quarter turn clockwise
  Transversed = 7,          // mirrored about the diagonal from the top-right corner
  TurnedAnticlockwise = 8,  // a quarter turn anticlockwise
};

// The orientation an EXIF block gives: a TIFF header, with or without the "Exif\0\0" that
// JPEG's APP1 segment puts in front. Everything is checked against the block's bounds; a
// tag that is absent, unreadable, or holds another value means AsStored.
Orientation exifOrientation(std::span<const std::uint8_t> exif);

// Rows become columns: width and height swap.
inline bool turnsSideways(Orientation orientation) {
  return static_cast<int>(orientation) >= static_cast<int>(Orientation::Transposed);
}

// Where stored row `row` of a width x height picture goes in the upright picture, whose
// rows are uprightStride bytes apart: the place of its first pixel, and the bytes from
// one of its pixels to the next (negative when it runs backwards).
struct RowPlace {
  std::ptrdiff_t first = 0;
  std::ptrdiff_t step = 3;
};
RowPlace placeOfRow(Orientation orientation, std::int32_t width, std::int32_t height,
                    std::int32_t row, std::size_t uprightStride);

// Copies one stored row of `width` three-byte pixels to its place in the upright picture.
void placeRow(const std::uint8_t* row, std::int32_t width, std::uint8_t* upright,
              const RowPlace& place);

}  // namespace tessaren
