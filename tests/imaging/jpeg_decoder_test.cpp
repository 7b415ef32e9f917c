// The JPEG decoder through the common interface: every colour model at every DCT scale,
// Adobe's inverted CMYK, and the progress monitor's scan limit and stop flag.
#include <gtest/gtest.h>

#include <algorithm>

#include "imaging/picture_geometry.h"
#include "tests/imaging/decoding.h"

namespace tessaren {
namespace {

using test::Bytes;
using test::JpegRecipe;

// Largest difference of any byte.
int distance(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 1000;
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

class JpegDecoder : public ::testing::Test {
 protected:
  std::string put(const Bytes& bytes) {
    test::writeFile(path, bytes);
    return path;
  }
  test::TempDir dir;
  const std::string path = dir.file("picture.jpg");
};

// At every DCT scale the decoder gives the size libjpeg computes and the right colours,
// whatever the colour model of the file.
TEST_F(JpegDecoder, ScalesEveryColourModel) {
  struct Case {
    const char* name;
    JpegRecipe recipe;
    Bytes stored;
    Bytes bgr;
  } cases[] = {
      {"colour", {.width = 83, .height = 45, .subsampled = true}, {200, 120, 40}, {40, 120, 200}},
      {"grey", {.width = 83, .height = 45, .components = 1}, {77}, {77, 77, 77}},
      {"inverted CMYK",
       {.width = 83, .height = 45, .components = 4},
       {255, 0, 255, 255},
       {255, 0, 255}},
      {"YCCK",
       {.width = 83, .height = 45, .components = 4, .ycck = true},
       {255, 255, 0, 255},
       {0, 255, 255}},
  };
  for (const Case& c : cases) {
    JpegRecipe recipe = c.recipe;
    recipe.quality = 100;
    put(test::encodeJpeg(recipe, test::flatPixels(recipe.width, recipe.height, c.stored)));
    for (int eighths : {1, 3, 5, 8}) {
      SCOPED_TRACE(testing::Message() << c.name << " at " << eighths << "/8");
      const int width = scaledSize(83, eighths), height = scaledSize(45, eighths);
      const test::Decoded decoded = test::decodeWhole(path, width, height);
      ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
      ASSERT_EQ(decoded.width, width);
      ASSERT_EQ(decoded.height, height);
      EXPECT_LE(distance(decoded.bgr, test::flatPixels(width, height, c.bgr)), 3);
    }
  }
}

TEST_F(JpegDecoder, CmykFollowsTheAdobeMarkerForInversion) {
  // Files with Adobe's marker hold inverted ink (255 = none); files without hold plain ink.
  struct Case {
    const char* name;
    Bytes stored;
    bool adobe, ycck;
    Bytes bgr;
  } cases[] = {
      {"no ink, inverted", {255, 255, 255, 255}, true, false, {255, 255, 255}},
      {"full cyan, inverted", {0, 255, 255, 255}, true, false, {255, 255, 0}},
      {"full black, inverted", {255, 255, 255, 0}, true, false, {0, 0, 0}},
      {"magenta and yellow, YCCK", {255, 0, 0, 255}, true, true, {0, 0, 255}},
      {"no ink, plain", {0, 0, 0, 0}, false, false, {255, 255, 255}},
      {"full yellow, plain", {0, 0, 255, 0}, false, false, {0, 255, 255}},
      {"half black, plain", {0, 0, 0, 128}, false, false, {127, 127, 127}},
  };
  for (const Case& c : cases) {
    const JpegRecipe recipe{.width = 8,
                            .height = 8,
                            .components = 4,
                            .ycck = c.ycck,
                            .adobeMarker = c.adobe,
                            .quality = 100};
    put(test::encodeJpeg(recipe, test::flatPixels(8, 8, c.stored)));
    const test::Decoded decoded = test::decodeWhole(path);
    ASSERT_FALSE(decoded.failure) << c.name;
    EXPECT_LE(distance(decoded.bgr, test::flatPixels(8, 8, c.bgr)), 3) << c.name;
  }
}

TEST_F(JpegDecoder, ScanLimitIsInclusive) {
  // The default progression of a colour picture has 10 scans: 90 repeats make 100.
  const Bytes progressive = test::encodeJpeg({.width = 16, .height = 16, .progressive = true},
                                             test::patternPixels(16, 16, 3));
  EXPECT_FALSE(test::decodeWhole(put(test::withRepeatedLastScan(progressive, 90))).failure);
  const test::Decoded refused = test::decodeWhole(put(test::withRepeatedLastScan(progressive, 91)));
  ASSERT_TRUE(refused.failure);
  EXPECT_EQ(refused.failure->kind, FailureKind::TooLarge);
  EXPECT_EQ(refused.failure->detail, "JPEG has more than 100 progressive scans");
}

// jpeg_start_decompress reads every scan of a progressive picture before the first row
// comes out: only the progress monitor sees the stop flag in there.
TEST_F(JpegDecoder, StopIsSeenInsideTheScansOfAProgressivePicture) {
  put(test::encodeJpeg({.width = 64, .height = 64, .progressive = true},
                       test::patternPixels(64, 64, 3)));
  const std::atomic<bool> stop{true};
  const test::Decoded decoded = test::decodeWhole(path, 0, 0, {}, &stop);
  ASSERT_TRUE(decoded.failure);
  EXPECT_EQ(decoded.failure->kind, FailureKind::Cancelled);
  EXPECT_EQ(decoded.width, 0);  // start never finished
}

}  // namespace
}  // namespace tessaren
