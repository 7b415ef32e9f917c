// tessaren-fuzz-seeds DIR [REAL-PICTURES-DIR...]: writes the imaging fuzzer's seed corpus:
// one file per kind of picture each decoder handles, made by the tests' picture maker,
// the broken forms the tests use, and copies of the real pictures in the directories given.
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/test_pictures.h"

using namespace tessaren::test;

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: %s DIR [REAL-PICTURES-DIR...]\n", argv[0]);
    return 1;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  auto seed = [&](const std::string& name, const Bytes& bytes) { writeFile(dir / name, bytes); };

  const struct {
    const char* name;
    JpegRecipe recipe;
  } jpegs[] = {
      {"colour-444", {.width = 13, .height = 7}},
      {"colour-420", {.width = 17, .height = 9, .subsampled = true}},
      {"grey", {.width = 9, .height = 5, .components = 1}},
      {"cmyk-adobe", {.width = 8, .height = 8, .components = 4}},
      {"cmyk-plain", {.width = 8, .height = 3, .components = 4, .adobeMarker = false}},
      {"ycck", {.width = 5, .height = 8, .components = 4, .ycck = true}},
      {"progressive", {.width = 16, .height = 12, .progressive = true, .subsampled = true}},
      {"progressive-grey", {.width = 11, .height = 3, .components = 1, .progressive = true}},
  };
  for (const auto& [name, r] : jpegs) {
    const Bytes jpeg = encodeJpeg(r, patternPixels(r.width, r.height, r.components));
    seed(std::string(name) + ".jpg", jpeg);
    if (r.progressive && r.components == 3) seed("many-scans.jpg", withRepeatedLastScan(jpeg, 3));
  }
  const Bytes small = encodeJpeg({.width = 17, .height = 9}, patternPixels(17, 9, 3));
  seed("cut-short.jpg", Bytes(small.begin(), small.begin() + small.size() / 2));
  seed("huge-header.jpg", withFrameSize(small, 65500, 65500));

  const Bytes palette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 9, 9, 9};
  const struct {
    const char* name;
    PngRecipe recipe;
  } pngs[] = {
      {"rgb8", {.width = 9, .height = 7}},
      {"rgba16-adam7",
       {.width = 11, .height = 9, .colourType = 6, .bitDepth = 16, .interlaced = true}},
      {"grey1", {.width = 13, .height = 3, .colourType = 0, .bitDepth = 1}},
      {"grey-alpha8", {.width = 5, .height = 5, .colourType = 4}},
      {"palette2-trns",
       {.width = 7,
        .height = 6,
        .colourType = 3,
        .bitDepth = 2,
        .palette = palette,
        .transparency = Bytes{0, 128}}},
      {"rgb8-trns", {.width = 6, .height = 4, .transparency = Bytes{0, 1, 0, 2, 0, 3}}},
  };
  for (const auto& [name, r] : pngs) {
    Bytes samples(pngRowBytes(r) * std::size_t(r.height));
    for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::uint8_t(i * 29);
    if (r.colourType == 3) {
      for (std::uint8_t& s : samples) s &= 0x55;  // 2-bit indices 0 and 1
    }
    seed(std::string(name) + ".png", encodePng(r, samples));
  }
  seed("zero.png", zeroPng(64, 64));

  const Bytes rgb = patternPixels(24, 16, 3);
  Bytes rgba;
  for (std::size_t i = 0; i < rgb.size(); i += 3) {
    rgba.insert(rgba.end(), {rgb[i], rgb[i + 1], rgb[i + 2], std::uint8_t(i * 5)});
  }
  seed("lossy.webp", encodeWebP({.width = 24, .height = 16}, rgb));
  seed("lossy-alpha.webp", encodeWebP({.width = 24, .height = 16, .alpha = true}, rgba));
  seed("lossless-alpha.webp",
       encodeWebP({.width = 24, .height = 16, .alpha = true, .lossless = true}, rgba));
  WebPFrame first{{.width = 24, .height = 16, .alpha = true, .lossless = true}, rgba};
  WebPFrame second{
      {.width = 8, .height = 6, .alpha = true}, flatPixels(8, 6, {1, 2, 3, 99}), 4, 2, false, true};
  seed("animated.webp", animatedWebP(24, 16, {first, second}));

  const Bytes indices = patternPixels(12, 10, 1);
  seed("one-frame.gif", encodeGif(12, 10, palette, {{0, 0, 12, 10, indices}}));
  seed("frames.gif", encodeGif(12, 10, palette,
                               {{0, 0, 12, 10, indices, {}, 2, 3},
                                {2, 1, 5, 4, Bytes(20, 1), {9, 8, 7}, 3, -1, true},
                                {1, 1, 3, 3, Bytes(9, 2), {}, 1, 0}}));

  // Animations asking for far more work than their size: huge frames outside or partly
  // inside a small canvas, frames adding up past the fuzzer's pixel limit, and many dots
  // each composed on a whole canvas.
  auto flat = [](int left, int top, int width, int height, int index, bool interlaced = false) {
    GifFrame frame{left, top, width, height, {std::uint8_t(index)}};
    frame.interlaced = interlaced;
    frame.flat = true;
    return frame;
  };
  const GifFrame under = flat(0, 0, 100, 100, 0);
  seed("huge-frame-outside.gif",
       encodeGif(100, 100, palette, {under, flat(0, 100, 65535, 900, 1)}));
  seed("huge-frame-partly-inside.gif",
       encodeGif(100, 100, palette, {under, flat(50, 60, 20000, 700, 2)}));
  seed("huge-interlaced-frame.gif",
       encodeGif(100, 100, palette, {under, flat(50, 60, 65485, 700, 2, true)}));
  seed("frames-past-limit.gif",
       encodeGif(256, 256, palette, std::vector<GifFrame>(20, flat(0, 0, 256, 256, 1))));
  auto dots = [](int count) {
    std::vector<WebPFrame> frames;
    for (int i = 0; i < count; ++i) {
      frames.push_back({{.width = 1, .height = 1, .alpha = true, .lossless = true},
                        {200, 30, 40, 255},
                        i % 50 * 2,
                        i / 50 * 2});
    }
    return frames;
  };
  seed("dots-on-a-large-canvas.webp", animatedWebP(6688, 6688, dots(1000)));
  seed("dots.webp", animatedWebP(120, 120, dots(64)));

  // Every way EXIF data says how to turn the picture, in both byte orders, and GIFs that
  // giflib refuses for what they hold.
  seed("turned-clockwise.jpg",
       withExif(encodeJpeg({.width = 13, .height = 7}, patternPixels(13, 7, 3)),
                exifWithOrientation(6, true)));
  seed("transposed.png", withExif(encodePng({.width = 9, .height = 7}, Bytes(9 * 7 * 3, 90)),
                                  exifWithOrientation(5)));
  seed("turned-anticlockwise.webp",
       withExif(encodeWebP({.width = 24, .height = 16}, rgb), exifWithOrientation(8)));
  seed("upside-down-animated.webp",
       withExif(animatedWebP(24, 16, {first, second}), exifWithOrientation(3, true)));
  seed("lzw-code-size-11.gif", handMadeGif({11, 2, 0x44, 0x01, 0}));
  seed("lzw-end-too-soon.gif", handMadeGif({2, 2, 0x44, 0x01, 0}));

  // Real pictures that nobody here wrote.
  for (int i = 2; i < argc; ++i) {
    std::error_code error;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(argv[i], error)) {
      if (entry.is_regular_file() && entry.file_size() <= 65536) {
        std::filesystem::copy_file(entry.path(), dir / ("real-" + entry.path().filename().string()),
                                   std::filesystem::copy_options::overwrite_existing, error);
      }
    }
  }
  return 0;
}
