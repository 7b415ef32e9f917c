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
  // Rows 0 and 1 are shown; in the file the line of row 3 comes after them and is skipped.
  GifFrame interlacedBelow = frame(1, 0, 2, 5, "GB/BG/WW/WW/WW");
  interlacedBelow.interlaced = true;
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
      {"frames wholly outside the canvas leave it as it was",
       4,
       2,
       {frame(0, 0, 4, 2, "RRRR/RRRR"), frame(4, 0, 1, 2, "G/G", 2), frame(0, 2, 2, 1, "BB"),
        frame(1, 0, 1, 1, "W"), frame(9, 9, 1, 1, "B")},
       "RWRR/RRRR"},
      {"an interlaced frame below the canvas keeps its shown rows",
       4,
       2,
       {frame(0, 0, 4, 2, "RRRR/RRRR"), interlacedBelow},
       "RGBR/RBGR"},
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

// The pixels to decode are every frame's lines up to its last shown row, whole lines
// even past the right edge; none of a frame outside the canvas or gone before the next.
TEST(GifDecoder, PixelsToDecodeLimitIsInclusive) {
  GifFrame interlaced = frame(0, 0, 1, 5, "G/B/W/B/G");  // rows 0, 4, 2, 1, 3: 4 lines
  interlaced.interlaced = true;
  const std::vector<GifFrame> frames = {frame(0, 0, 4, 2, "RRRR/RRRR"),  // 8
                                        frame(3, 0, 3, 1, "GGG"),        // 3
                                        frame(0, 0, 2, 1, "GG", 2),  // disposed before the next: 0
                                        frame(4, 0, 2, 2, "BB/BB"),  // outside: 0
                                        frame(1, 1, 3, 4, "BBB/BBB/BBB/BBB"),  // 1 line of 3
                                        interlaced};                           // 4
  test::TempDir dir;
  test::writeFile(dir.file("a.gif"), test::encodeGif(4, 2, kPalette, frames));
  DecodeLimits limits;
  limits.maxPixels = 18;
  const test::Decoded decoded = test::decodeWhole(dir.file("a.gif"), 0, 0, limits);
  ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
  EXPECT_EQ(lettersOf(decoded), "G.RG/BBBB");
  limits.maxPixels = 17;
  const test::Decoded refused = test::decodeWhole(dir.file("a.gif"), 0, 0, limits);
  ASSERT_TRUE(refused.failure);
  EXPECT_EQ(refused.failure->kind, FailureKind::TooLarge);
  EXPECT_EQ(refused.failure->detail,
            "4 x 2 GIF animation is too large to decode (6 frames, 18 pixels in all; at most 17)");
}

// Files of a few hundred KB that would take giflib seconds to minutes of LZW decoding:
// each is drawn, decoding only what it shows, or refused before a line is decoded.
TEST(GifDecoder, HugeFramesAreClippedOrRefusedBeforeDecoding) {
  auto flat = [](int left, int top, int width, int height, int index, bool interlaced = false) {
    GifFrame made = frame(left, top, width, height, "", 1);
    made.indices = {std::uint8_t(index)};
    made.flat = true;
    made.interlaced = interlaced;
    return made;
  };
  struct Case {
    const char* name;
    int side;
    std::vector<GifFrame> frames;
    int greenLeft, greenTop;  // green from there to the corner, red elsewhere
    std::string refusal;
  } cases[] = {
      {"a huge frame wholly outside",
       100,
       {flat(0, 0, 100, 100, 0), flat(100, 100, 65435, 65435, 1)},
       100,
       100,
       ""},
      {"a huge frame partly inside",
       100,
       {flat(0, 0, 100, 100, 0), flat(50, 60, 65485, 65475, 1)},
       50,
       60,
       ""},
      {"a huge interlaced frame, half of whose lines come before the shown ones",
       100,
       {flat(0, 0, 100, 100, 0), flat(0, 0, 65535, 65535, 1, true)},
       0,
       0,
       "100 x 100 GIF animation is too large to decode (2 frames, 2150 million pixels in all; at "
       "most 1073 million)"},
      {"frames inside the canvas adding up past the limit", 13000,
       std::vector<GifFrame>(7, flat(0, 0, 13000, 13000, 1)), 0, 0,
       "13000 x 13000 GIF animation is too large to decode (7 frames, 1183 million pixels in all; "
       "at most 1073 million)"},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeFile(dir.file("a.gif"), test::encodeGif(c.side, c.side, kPalette, c.frames));
    const test::Decoded decoded = test::decodeWhole(dir.file("a.gif"));
    if (!c.refusal.empty()) {
      ASSERT_TRUE(decoded.failure);
      EXPECT_EQ(decoded.failure->kind, FailureKind::TooLarge);
      EXPECT_EQ(decoded.failure->detail, c.refusal);
      continue;
    }
    ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
    std::string shown;
    for (int y = 0; y < c.side; ++y) {
      if (y > 0) shown += '/';
      for (int x = 0; x < c.side; ++x) shown += x >= c.greenLeft && y >= c.greenTop ? 'G' : 'R';
    }
    EXPECT_EQ(lettersOf(decoded), shown);
    EXPECT_FALSE(decoded.endedEarly);
  }
}

}  // namespace
}  // namespace tessaren
