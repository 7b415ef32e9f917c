// weather-picture WIDTH HEIGHT OUT.ppm: a synthetic weather chart (smooth temperature
// field in a colour ramp, isobars, a coastline, a grid and some sensor noise) as binary
// PPM for cjpeg. Made at bench time so no picture is ever committed.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s WIDTH HEIGHT OUT.ppm\n", argv[0]);
    return 1;
  }
  const int width = std::atoi(argv[1]);
  const int height = std::atoi(argv[2]);
  std::FILE* out = std::fopen(argv[3], "wb");
  if (width <= 0 || height <= 0 || out == nullptr) return 1;
  std::fprintf(out, "P6\n%d %d\n255\n", width, height);

  std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 3);
  std::uint32_t noise = 12345;
  for (int y = 0; y < height; ++y) {
    const double v = static_cast<double>(y) / height;
    for (int x = 0; x < width; ++x) {
      const double u = static_cast<double>(x) / width;
      // Pressure systems: a few broad bumps.
      const double field = std::sin(u * 7.1 + std::cos(v * 3.3)) * 0.5 +
                           std::cos(v * 5.7 - u * 2.1) * 0.35 + std::sin((u + v) * 11.0) * 0.15;
      const double coast = 0.55 + 0.08 * std::sin(v * 23.0) + 0.04 * std::sin(v * 71.0);
      double r, g, b;
      if (u > coast) {  // land: temperature ramp
        const double t = 0.5 + 0.5 * field;
        r = 255 * t;
        g = 200 * (1 - std::fabs(t - 0.5) * 1.6);
        b = 255 * (1 - t);
      } else {  // sea
        r = 20 + 30 * field;
        g = 60 + 40 * field;
        b = 160 + 60 * field;
      }
      // Isobars every 0.1 of the field, a degree grid, and a little noise.
      if (std::fabs(std::fmod(field + 2.0, 0.1) - 0.05) > 0.046) r = g = b = 40;
      if (x % (width / 16 + 1) == 0 || y % (height / 9 + 1) == 0) r = g = b = 230;
      noise = noise * 1664525u + 1013904223u;
      const double jitter = static_cast<double>(noise >> 28) - 7.5;
      std::uint8_t* p = row.data() + static_cast<std::size_t>(x) * 3;
      p[0] = static_cast<std::uint8_t>(std::fmin(255, std::fmax(0, r + jitter)));
      p[1] = static_cast<std::uint8_t>(std::fmin(255, std::fmax(0, g + jitter)));
      p[2] = static_cast<std::uint8_t>(std::fmin(255, std::fmax(0, b + jitter)));
    }
    std::fwrite(row.data(), row.size(), 1, out);
  }
  return std::fclose(out) == 0 ? 0 : 1;
}
