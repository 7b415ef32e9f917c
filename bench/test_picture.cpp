// tessaren-test-picture FORMAT WIDTH HEIGHT OUT [FRAMES]: the tests' picture maker from
// the command line, for the benchmarks. The picture is a weather chart (isobars, a
// coastline, a grid, some noise); FORMAT is ppm (for cjpeg), png, webp (lossy, quality
// 80), webp-lossless, or gif (quantised to a 6 x 7 x 6 colour cube; FRAMES frames, each
// the chart moved 8 pixels further, the last frame whole). Made at bench time so that no
// picture is ever committed.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/support/test_pictures.h"

using namespace tessaren::test;

namespace {

// The chart shifted left by `shift` pixels, from a chart that wide plus the shifts.
Bytes shifted(const Bytes& wide, int wideWidth, int width, int height, int shift) {
  Bytes part;
  part.reserve(std::size_t(width) * height * 3);
  for (int y = 0; y < height; ++y) {
    const auto row = wide.begin() + (std::ptrdiff_t(y) * wideWidth + shift) * 3;
    part.insert(part.end(), row, row + std::ptrdiff_t(width) * 3);
  }
  return part;
}

Bytes cubeIndices(const Bytes& rgb) {
  Bytes indices(rgb.size() / 3);
  for (std::size_t i = 0; i < indices.size(); ++i) {
    indices[i] = std::uint8_t((rgb[3 * i] * 6 / 256) * 42 + (rgb[3 * i + 1] * 7 / 256) * 6 +
                              rgb[3 * i + 2] * 6 / 256);
  }
  return indices;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: %s ppm|png|webp|webp-lossless|gif WIDTH HEIGHT OUT [FRAMES]\n",
                 argv[0]);
    return 1;
  }
  const std::string format = argv[1];
  const int width = std::atoi(argv[2]), height = std::atoi(argv[3]);
  const int frames = argc > 5 ? std::max(1, std::atoi(argv[5])) : 1;
  if (width <= 0 || height <= 0) return 1;
  Bytes out;
  if (format == "gif") {
    const int step = 8, wideWidth = width + step * (frames - 1);
    const Bytes wide = weatherPixels(wideWidth, height);
    Bytes palette;
    for (int r = 0; r < 6; ++r) {
      for (int g = 0; g < 7; ++g) {
        for (int b = 0; b < 6; ++b) {
          palette.insert(palette.end(),
                         {std::uint8_t(r * 51), std::uint8_t(g * 85 / 2), std::uint8_t(b * 51)});
        }
      }
    }
    std::vector<GifFrame> gifFrames;
    for (int i = 0; i < frames; ++i) {
      gifFrames.push_back(
          {0, 0, width, height, cubeIndices(shifted(wide, wideWidth, width, height, i * step))});
    }
    out = encodeGif(width, height, palette, gifFrames);
  } else {
    const Bytes rgb = weatherPixels(width, height);
    if (format == "ppm") {
      const std::string header =
          "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
      out.assign(header.begin(), header.end());
      out.insert(out.end(), rgb.begin(), rgb.end());
    } else if (format == "png") {
      out = encodePng({.width = width, .height = height}, rgb);
    } else if (format == "webp" || format == "webp-lossless") {
      out = encodeWebP({.width = width, .height = height, .lossless = format == "webp-lossless"},
                       rgb);
    } else {
      std::fprintf(stderr, "%s: unknown format %s\n", argv[0], format.c_str());
      return 1;
    }
  }
  writeFile(argv[4], out);
  return 0;
}
