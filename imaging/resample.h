// Resampling of three-byte pixels with stb_image_resize: the one place that knows the
// library, so that another could take its place.
#pragma once

#include <cstddef>
#include <cstdint>

#include "imaging/picture_geometry.h"

namespace tessaren {

struct PixelView {
  const std::uint8_t* pixels = nullptr;  // top row first
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::size_t stride = 0;  // bytes from one row to the next
};

// Draws `region` of source (in source pixels) scaled to exactly outWidth x outHeight at
// out, rows outStride bytes apart. The pixels just outside the region weigh in at its
// edges, as they would in a resize of the whole picture. False when memory runs out.
bool resampleRegion(const PixelView& source, const SourceRegion& region, std::uint8_t* out,
                    std::int32_t outWidth, std::int32_t outHeight, std::size_t outStride);

}  // namespace tessaren
