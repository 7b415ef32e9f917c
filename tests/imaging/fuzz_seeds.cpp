// tessaren-fuzz-seeds DIR: writes the imaging fuzzer's seed corpus, one file per kind
// of picture the decoder handles, plus the broken forms the tests use.
#include <cstdio>
#include <string>

#include "tests/imaging/jpeg_fixtures.h"

using namespace tessaren::test;

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 1;
  }
  const std::filesystem::path dir = argv[1];
  std::filesystem::create_directories(dir);
  struct Seed {
    const char* name;
    JpegRecipe recipe;
  } seeds[] = {
      {"colour-444", {.width = 13, .height = 7}},
      {"colour-420", {.width = 17, .height = 9, .subsampled = true}},
      {"grey", {.width = 9, .height = 5, .components = 1}},
      {"cmyk-adobe", {.width = 8, .height = 8, .components = 4}},
      {"cmyk-plain", {.width = 8, .height = 3, .components = 4, .adobeMarker = false}},
      {"ycck", {.width = 5, .height = 8, .components = 4, .ycck = true}},
      {"progressive", {.width = 16, .height = 12, .progressive = true, .subsampled = true}},
      {"progressive-grey", {.width = 11, .height = 3, .components = 1, .progressive = true}},
  };
  for (const Seed& seed : seeds) {
    const JpegRecipe& r = seed.recipe;
    const Bytes jpeg = encodeJpeg(r, patternPixels(r.width, r.height, r.components));
    writeFile(dir / (std::string(seed.name) + ".jpg"), jpeg);
    if (std::string(seed.name) == "colour-420") {
      writeFile(dir / "cut-short.jpg", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
      writeFile(dir / "huge-header.jpg", withFrameSize(jpeg, 65500, 65500));
    }
    if (r.progressive && r.components == 3) {
      writeFile(dir / "many-scans.jpg", withRepeatedLastScan(jpeg, 3));
    }
  }
  return 0;
}
