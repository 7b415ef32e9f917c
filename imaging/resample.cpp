// stb_image_resize (Debian's libstb-dev) does the filtering; this file only chooses the
// filter and takes the short way when nothing needs resampling.
#include "imaging/resample.h"

#include <cmath>
#include <cstring>

#define STB_IMAGE_RESIZE_IMPLEMENTATION
#define STB_IMAGE_RESIZE_STATIC
#include <stb_image_resize.h>

namespace tessaren {
namespace {

// Catmull-Rom keeps the thin lines of charts and maps sharper than stb's default
// Mitchell filter, and it leaves pixels untouched at a scale of exactly one.
constexpr stbir_filter kFilter = STBIR_FILTER_CATMULLROM;

bool isWhole(double value) { return std::floor(value) == value; }

}  // namespace

bool resampleRegion(const PixelView& source, const SourceRegion& region, std::uint8_t* out,
                    std::int32_t outWidth, std::int32_t outHeight, std::size_t outStride) {
  if (outWidth <= 0 || outHeight <= 0) return true;
  // The region at its own size on whole pixels: a plain copy is exact and much faster.
  if (isWhole(region.left) && isWhole(region.top) && region.right - region.left == outWidth &&
      region.bottom - region.top == outHeight) {
    const std::size_t rowBytes = static_cast<std::size_t>(outWidth) * 3;
    const std::uint8_t* from = source.pixels +
                               static_cast<std::size_t>(region.top) * source.stride +
                               static_cast<std::size_t>(region.left) * 3;
    for (std::int32_t y = 0; y < outHeight; ++y) {
      std::memcpy(out + static_cast<std::size_t>(y) * outStride,
                  from + static_cast<std::size_t>(y) * source.stride, rowBytes);
    }
    return true;
  }
  return stbir_resize_region(
             source.pixels, source.width, source.height, static_cast<int>(source.stride), out,
             outWidth, outHeight, static_cast<int>(outStride), STBIR_TYPE_UINT8, 3,
             STBIR_ALPHA_CHANNEL_NONE, 0, STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP, kFilter, kFilter,
             STBIR_COLORSPACE_LINEAR, nullptr, static_cast<float>(region.left / source.width),
             static_cast<float>(region.top / source.height),
             static_cast<float>(region.right / source.width),
             static_cast<float>(region.bottom / source.height)) != 0;
}

}  // namespace tessaren
