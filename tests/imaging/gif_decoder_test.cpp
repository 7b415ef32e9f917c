// The GIF decoder: the last frame as it is shown, every disposal, transparency, local
// colours, interlacing and frames placed partly off the screen, drawn on small canvases
// whose every pixel is checked; the frame limit, and the limit on the pixels the frames
// ask to decode, against huge frames made in moments.
#include <gtest/gtest.h>

#include "tests/imaging/decoding.h"

namespace tessaren {
namespace {

using test::Bytes;
using test::GifFrame;

// Indices 0 red, 1 green, 2 blue, 3 white; a picture as rows of those letters, '/'
// between rows and '.' for black.
const Bytes kPalette = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};

Bytes indices(const std::string& letters) {
  Bytes out;
  for (char c : letters) {
    if (c != '/') out.push_back(std::uint8_t(std::string("RGBW.").find(c)));
  }
  return out;
}

std::string lettersOf(const test::Decoded& decoded) {
  std::string letters;
  for (int y = 0; y < decoded.height; ++y) {
    if (y > 0) letters += '/';
    for (int x = 0; x < decoded.width; ++x) {
      const std::uint8_t* p = &decoded.bgr[(std::size_t(y) * decoded.width + x) * 3];
      const char* names[] = {"R", "G", "B", "W", "."};
      const Bytes colours[] = {{0, 0, 255}, {0, 255, 0}, {255, 0, 0}, {255, 255, 255}, {0, 0, 0}};
      std::string name = "?";
      for (int k = 0; k < 5; ++k) {
        if (Bytes(p, p + 3) == colours[k]) name = names[k];
      }
      letters += name;
    }
  }
  return letters;
}

GifFrame frame(int left, int top, int width, int height, const std::string& letters,
               int disposal = 1, int transparent = -1) {
  return {left, top, width, height, indices(letters), {}, disposal, transparent, false};
}

TEST(GifDecoder, LastFrameIsComposedAsItIsShown) {
  GifFrame interlaced = frame(0, 0, 1, 9, "R/G/B/W/R/G/B/W/R");
  interlaced.interlaced = true;
  GifFrame localColours = frame(1, 0, 1, 1, "R");
  localColours.palette = {255, 255, 255};  // index 0 is white here
  struct Case {
    const char* name;
    int width, height;
    std::vector<GifFrame> frames;
    std::string shown;
  } cases[] = {
      {"one frame, streamed", 4, 2, {frame(0, 0, 4, 2, "RGBW/WBGR")}, "RGBW/WBGR"},
      {"a frame kept under the next",
       4,
       2,
       {frame(0, 0, 4, 2, "RRRR/RRRR"), frame(1, 0, 2, 1, "GG")},
       "RGGR/RRRR"},
      {"transparent pixels leave the canvas",
       4,
       2,
       {frame(0, 0, 4, 2, "RRRR/RRRR"), frame(1, 0, 2, 1, "GW", 1, 3)},
       "RGRR/RRRR"},
      {"disposal to background clears the area",
       4,
       2,
       {frame(0, 0, 4, 2, "RRRR/RRRR"), frame(0, 0, 2, 2, "GG/GG", 2), frame(3, 1, 1, 1, "B")},
       "..RR/..RB"},
      {"disposal to the previous picture restores it",
       4,
       2,
       {frame(0, 0, 4, 2, "RRRR/RRRR"), frame(0, 0, 4, 2, "GGGG/GGGG", 3), frame(0, 0, 1, 1, "B")},
       "BRRR/RRRR"},
      {"the last frame's own disposal is not shown",
       4,
       2,
       {frame(0, 0, 4, 2, "RRRR/RRRR"), frame(0, 0, 2, 1, "GG", 2)},
       "GGRR/RRRR"},
      {"transparent on an empty canvas shows black", 3, 1, {frame(0, 0, 3, 1, "RWB", 0, 3)}, "R.B"},
      {"interlaced rows in their places", 1, 9, {interlaced}, "R/G/B/W/R/G/B/W/R"},
      {"a frame's own colours", 2, 1, {frame(0, 0, 2, 1, "GG"), localColours}, "GW"},
      {"a first frame beyond the screen grows the canvas", 2, 1, {frame(1, 0, 2, 1, "RG")}, ".RG"},
      {"a later frame beyond the canvas is cut",
       4,
       2,
       {frame(0, 0, 4, 2, "RRRR/RRRR"), frame(3, 1, 2, 2, "GG/GG")},
       "RRRR/RRRG"},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeFile(dir.file("a.gif"), test::encodeGif(c.width, c.height, kPalette, c.frames));
    const test::Decoded decoded = test::decodeWhole(dir.file("a.gif"));
    ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
    EXPECT_EQ(lettersOf(decoded), c.shown);
  }
}

TEST(GifDecoder, FrameLimitIsInclusive) {
  test::TempDir dir;
  const std::vector<GifFrame> frames(4, frame(0, 0, 1, 1, "G"));
  DecodeLimits limits;
  limits.maxFrames = 4;
  test::writeFile(dir.file("a.gif"), test::encodeGif(1, 1, kPalette, frames));
  EXPECT_FALSE(test::decodeWhole(dir.file("a.gif"), 0, 0, limits).failure);
  limits.maxFrames = 3;
  const test::Decoded refused = test::decodeWhole(dir.file("a.gif"), 0, 0, limits);
  ASSERT_TRUE(refused.failure);
  EXPECT_EQ(refused.failure->kind, FailureKind::TooLarge);
  EXPECT_EQ(refused.failure->detail, "GIF has more than 3 frames");
}

// The pixels to decode are every frame's lines up to its last shown row, whole lines even
// past the right edge, and none of a frame outside the canvas or gone before the next.
// Huge frames of one colour take moments to make and would take giflib seconds to decode.
TEST(GifDecoder, PixelsToDecodeAreClippedAndBoundedBeforeDecoding) {
  auto flat = [](int left, int top, int width, int height, const std::string& letter) {
    GifFrame made = frame(left, top, width, height, letter);
    made.flat = true;
    return made;
  };
  GifFrame hugeInterlaced = flat(0, 0, 65535, 65535, "G");  // rows 0 and 1: 32769 lines
  hugeInterlaced.interlaced = true;
  GifFrame interlaced = frame(0, 0, 1, 5, "G/B/W/B/G");  // rows 0, 4, 2, 1: 4 lines of 5
  interlaced.interlaced = true;
  // Lines x widths: 2 x 4, 1 x 3, none (gone before the next), none (outside), 1 x 3, 4 x 1.
  const std::vector<GifFrame> small = {
      frame(0, 0, 4, 2, "RRRR/RRRR"),       frame(3, 0, 3, 1, "GGG"),
      frame(0, 0, 2, 1, "GG", 2),           frame(4, 0, 2, 2, "BB/BB"),
      frame(1, 1, 3, 4, "BBB/BBB/BBB/BBB"), interlaced};
  const GifFrame red = flat(0, 0, 4, 2, "R");
  const std::uint64_t usual = DecodeLimits{}.maxPixels;
  struct Case {
    const char* name;
    int width, height;
    std::vector<GifFrame> frames;
    std::uint64_t maxPixels;
    std::string shown;  // or the refusal
  } cases[] = {
      {"a huge frame outside", 4, 2, {red, flat(4, 2, 65531, 65533, "G")}, usual, "RRRR/RRRR"},
      {"a huge frame partly inside",
       4,
       2,
       {red, flat(2, 1, 65533, 65534, "G")},
       usual,
       "RRRR/RRGG"},
      {"a huge interlaced frame",
       4,
       2,
       {red, hugeInterlaced},
       usual,
       "4 x 2 GIF animation is too large to decode (2 frames, 2147 million pixels in all; at "
       "most 1073 million)"},
      {"frames filling the canvas", 13000, 13000,
       std::vector<GifFrame>(7, flat(0, 0, 13000, 13000, "B")), usual,
       "13000 x 13000 GIF animation is too large to decode (7 frames, 1183 million pixels in all; "
       "at most 1073 million)"},
      {"at the limit", 4, 2, small, 18, "G.RG/BBBB"},
      {"one past it", 4, 2, small, 17,
       "4 x 2 GIF animation is too large to decode (6 frames, 18 pixels in all; at most 17)"},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeFile(dir.file("a.gif"), test::encodeGif(c.width, c.height, kPalette, c.frames));
    DecodeLimits limits;
    limits.maxPixels = c.maxPixels;
    const test::Decoded decoded = test::decodeWhole(dir.file("a.gif"), 0, 0, limits);
    if (decoded.failure) {
      EXPECT_EQ(decoded.failure->kind, FailureKind::TooLarge);
      EXPECT_EQ(decoded.failure->detail, c.shown);
    } else {
      EXPECT_EQ(lettersOf(decoded), c.shown);
    }
  }
}

// giflib's refusals in words that say what the file holds, not the library's generic
// text ("Failed to read from given file" for a code size above 8). The LZW codes are
// three bits each here: clear (4), the colour 0, end (5).
TEST(GifDecoder, RefusalsSayWhatTheFileHolds) {
  const struct {
    const char* name;
    Bytes gif;
    std::string reason;
  } cases[] = {
      {"code size 9", test::handMadeGif({9, 2, 0x44, 0x01, 0}),
       "this GIF uses an LZW code size of 9; GIF allows at most 8"},
      {"code size 11", test::handMadeGif({11, 2, 0x44, 0x01, 0}),
       "this GIF uses an LZW code size of 11; GIF allows at most 8"},
      {"code size 255", test::handMadeGif({255, 0}),
       "this GIF uses an LZW code size of 255; GIF allows at most 8"},
      {"no frame or extension where one should be", test::handMadeGif({2, 2, 0x44, 0x01, 0}, 0x99),
       "broken GIF picture (a frame or extension should begin where it has the byte 0x99)"},
      {"the end code after one pixel", test::handMadeGif({2, 2, 0x44, 0x01, 0}),
       "broken GIF picture (a frame's compressed data ends before its last pixel)"},
      {"the data blocks end inside a code", test::handMadeGif({2, 1, 0x04, 0}),
       "broken GIF picture (a frame's compressed data is damaged: its LZW codes can't be "
       "decoded)"},
  };
  test::TempDir dir;
  for (const auto& [name, gif, reason] : cases) {
    SCOPED_TRACE(name);
    test::writeFile(dir.file("a.gif"), gif);
    const test::Decoded decoded = test::decodeWhole(dir.file("a.gif"));
    ASSERT_TRUE(decoded.failure);
    EXPECT_EQ(decoded.failure->kind, FailureKind::BrokenPicture);
    EXPECT_EQ(decoded.failure->detail, reason);
  }
}

}  // namespace
}  // namespace tessaren
