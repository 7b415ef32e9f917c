// The PNG decoder on what no real test picture holds: an APNG's default picture. Every
// colour type, depth, interlacing, tRNS and alpha against ImageMagick is the conformance
// test's, on PngSuite and libpng's own pictures.
#include <gtest/gtest.h>

#include "tests/imaging/decoding.h"

namespace tessaren {
namespace {

using test::Bytes;
using test::PngRecipe;

// An APNG's first frame sits in IDAT; its other frames are in chunks a plain PNG reader
// skips, and a broken one changes nothing.
TEST(PngDecoder, AnimatedPngShowsItsDefaultPicture) {
  test::TempDir dir;
  const PngRecipe recipe{.width = 5, .height = 4};
  const Bytes picture = test::patternPixels(5, 4, 3);
  Bytes animation = test::withChunkBeforeData(test::encodePng(recipe, picture),
                                              test::pngChunk("acTL", {0, 0, 0, 2, 0, 0, 0, 0}));
  const Bytes frame = test::pngChunk("fdAT", {0, 0, 0, 1, 0xDE, 0xAD});
  animation.insert(animation.end() - 12, frame.begin(), frame.end());  // before IEND
  test::writeFile(dir.file("a.png"), animation);
  const test::Decoded decoded = test::decodeWhole(dir.file("a.png"));
  ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
  EXPECT_EQ(decoded.bgr, test::asBgr(picture, 3));
}

}  // namespace
}  // namespace tessaren
