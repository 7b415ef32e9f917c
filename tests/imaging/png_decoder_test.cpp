// The PNG decoder: interlaced pictures gathered pass by pass into the same pixels as
// streamed ones, transparency of every kind over black, 16-bit samples rounded, and an
// APNG's default picture. Every colour type and depth against ImageMagick is the
// conformance test's, on PngSuite.
#include <gtest/gtest.h>

#include "tests/imaging/decoding.h"

namespace tessaren {
namespace {

using test::Bytes;
using test::PngRecipe;

// Samples of every kind a recipe asks for, varied enough that a pixel out of place shows.
Bytes samplesFor(const PngRecipe& recipe) {
  Bytes samples(test::pngRowBytes(recipe) * std::size_t(recipe.height));
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = std::uint8_t(i * 37 + i / 7);
  if (recipe.colourType == 3 && recipe.bitDepth == 8) {
    for (std::uint8_t& index : samples) index %= std::uint8_t(recipe.palette.size() / 3);
  }
  return samples;
}

Bytes paletteOf(int entries) {
  Bytes palette;
  for (int i = 0; i < entries; ++i) {
    palette.insert(palette.end(), {std::uint8_t(i * 11), std::uint8_t(255 - i), std::uint8_t(i)});
  }
  return palette;
}

TEST(PngDecoder, InterlacedPicturesGiveTheSamePixelsAsStreamedOnes) {
  test::TempDir dir;
  const PngRecipe recipes[] = {
      {.width = 37, .height = 29, .colourType = 2},
      {.width = 9, .height = 5, .colourType = 0, .bitDepth = 1},
      {.width = 13, .height = 11, .colourType = 3, .bitDepth = 4, .palette = paletteOf(16)},
      {.width = 17, .height = 3, .colourType = 6, .bitDepth = 16},
      {.width = 1, .height = 1, .colourType = 4},
      {.width = 3, .height = 40, .colourType = 0, .bitDepth = 16},
  };
  for (PngRecipe recipe : recipes) {
    SCOPED_TRACE(testing::Message() << recipe.width << "x" << recipe.height << " type "
                                    << recipe.colourType << " depth " << recipe.bitDepth);
    const Bytes samples = samplesFor(recipe);
    test::writeFile(dir.file("plain.png"), test::encodePng(recipe, samples));
    recipe.interlaced = true;
    test::writeFile(dir.file("adam7.png"), test::encodePng(recipe, samples));
    const test::Decoded plain = test::decodeWhole(dir.file("plain.png"));
    const test::Decoded adam7 = test::decodeWhole(dir.file("adam7.png"));
    ASSERT_FALSE(plain.failure) << plain.failure->detail;
    ASSERT_FALSE(adam7.failure) << adam7.failure->detail;
    EXPECT_EQ(plain.width, recipe.width);
    EXPECT_TRUE(plain.bgr == adam7.bgr);
  }
}

// One pixel of each kind, its stored samples and what shows: the colour laid over black
// by its alpha, rounded to the nearest; 16-bit samples narrowed rounding to the nearest
// (0xFF00 is 254, where dropping the low byte gives 255).
TEST(PngDecoder, TransparencyOfEveryKindIsLaidOverBlack) {
  test::TempDir dir;
  struct Case {
    const char* name;
    PngRecipe recipe;
    Bytes samples;
    Bytes bgr;
  } cases[] = {
      {"colour and alpha",
       {.width = 1, .height = 1, .colourType = 6},
       {200, 100, 50, 128},
       {25, 50, 100}},
      {"grey and alpha, 16 bits",
       {.width = 1, .height = 1, .colourType = 4, .bitDepth = 16},
       {0xFF, 0xFF, 0x80, 0x00},
       {128, 128, 128}},
      {"colour, 16 bits rounded",
       {.width = 1, .height = 1, .colourType = 2, .bitDepth = 16},
       {0xFF, 0x00, 0x00, 0xC0, 0x7F, 0x7F},
       {127, 1, 254}},
      {"the tRNS colour",
       {.width = 2, .height = 1, .colourType = 2, .transparency = Bytes{0, 10, 0, 20, 0, 30}},
       {10, 20, 30, 10, 20, 31},
       {0, 0, 0, 31, 20, 10}},
      {"the tRNS grey, 2 bits",
       {.width = 4, .height = 1, .colourType = 0, .bitDepth = 2, .transparency = Bytes{0, 1}},
       {0b00011011},
       {0, 0, 0, 0, 0, 0, 170, 170, 170, 255, 255, 255}},
      {"palette alpha",
       {.width = 2,
        .height = 1,
        .colourType = 3,
        .palette = {255, 0, 0, 0, 0, 255},
        .transparency = Bytes{51}},
       {0, 1},
       {0, 0, 51, 255, 0, 0}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeFile(dir.file("t.png"), test::encodePng(c.recipe, c.samples));
    const test::Decoded decoded = test::decodeWhole(dir.file("t.png"));
    ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
    EXPECT_EQ(decoded.bgr, c.bgr);
  }
}

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
