// The WebP decoder: still pictures through the incremental decoder against libwebp's own
// one-call decode, shrunk by libwebp's rescaler, and animations composed to their last
// frame with blending and disposal; every picture laid over black. Animations whose
// frames libwebp would compose on too many canvases are refused before the first.
#include <gtest/gtest.h>
#include <webp/decode.h>

#include "tests/imaging/decoding.h"

namespace tessaren {
namespace {

using test::Bytes;
using test::WebPFrame;
using test::WebPRecipe;

// Every fourth pixel transparent, a band half transparent.
Bytes withAlpha(const Bytes& rgb, int width) {
  Bytes rgba;
  for (std::size_t i = 0; i < rgb.size() / 3; ++i) {
    rgba.insert(rgba.end(), rgb.begin() + std::ptrdiff_t(3 * i),
                rgb.begin() + std::ptrdiff_t(3 * i + 3));
    rgba.push_back(i % 4 == 0 ? 0 : (i / std::size_t(width)) % 8 < 2 ? 128 : 255);
  }
  return rgba;
}

TEST(WebPDecoder, StillPicturesAreWhatLibwebpDecodesLaidOverBlack) {
  test::TempDir dir;
  // The lossless picture is larger than one piece fed to the incremental decoder.
  const WebPRecipe recipes[] = {
      {.width = 301, .height = 201},
      {.width = 301, .height = 201, .alpha = true},
      {.width = 700, .height = 500, .lossless = true},
      {.width = 33, .height = 17, .alpha = true, .lossless = true},
  };
  for (const WebPRecipe& recipe : recipes) {
    SCOPED_TRACE(testing::Message()
                 << recipe.width << "x" << recipe.height << (recipe.alpha ? " alpha" : "")
                 << (recipe.lossless ? " lossless" : " lossy"));
    const Bytes rgb = test::patternPixels(recipe.width, recipe.height, 3);
    const Bytes pixels = recipe.alpha ? withAlpha(rgb, recipe.width) : rgb;
    const Bytes webp = test::encodeWebP(recipe, pixels);
    test::writeFile(dir.file("a.webp"), webp);
    int width = 0, height = 0;
    std::uint8_t* own = WebPDecodeRGBA(webp.data(), webp.size(), &width, &height);
    ASSERT_NE(own, nullptr);
    const Bytes expected = test::asBgr(Bytes(own, own + std::size_t(width) * height * 4), 4);
    WebPFree(own);
    if (recipe.lossless) {
      EXPECT_EQ(expected, test::asBgr(pixels, recipe.alpha ? 4 : 3));
    }

    const test::Decoded decoded = test::decodeWhole(dir.file("a.webp"));
    ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
    EXPECT_EQ(decoded.width, recipe.width);
    EXPECT_TRUE(decoded.bgr == expected);
  }
}

TEST(WebPDecoder, RescalerShrinksWhileDecoding) {
  test::TempDir dir;
  const WebPRecipe recipe{.width = 400, .height = 300, .lossless = true};
  test::writeFile(dir.file("a.webp"),
                  test::encodeWebP(recipe, test::flatPixels(400, 300, {30, 160, 220})));
  const test::Decoded decoded = test::decodeWhole(dir.file("a.webp"), 101, 75);
  ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
  EXPECT_EQ(decoded.width, 101);
  EXPECT_EQ(decoded.height, 75);
  EXPECT_EQ(decoded.bgr, test::flatPixels(101, 75, {220, 160, 30}));
}

// Frames of flat colours on a 6 x 4 canvas; alpha only 0 or 255, so that every pixel of
// the last frame is known exactly.
TEST(WebPDecoder, AnimationShowsItsLastFrameComposed) {
  auto flat = [](int width, int height, Bytes rgba) {
    return WebPFrame{{.width = width, .height = height, .alpha = true, .lossless = true},
                     test::flatPixels(width, height, rgba)};
  };
  WebPFrame red = flat(6, 4, {255, 0, 0, 255});
  WebPFrame greenWithAHole = flat(2, 2, {0, 255, 0, 255});
  greenWithAHole.pixels[3] = 0;  // the top-left pixel is transparent
  greenWithAHole.left = 2;
  WebPFrame replacing = greenWithAHole;
  replacing.blend = false;
  WebPFrame disposed = flat(2, 2, {0, 255, 0, 255});
  disposed.disposeToBackground = true;
  WebPFrame blue = flat(2, 2, {0, 0, 255, 255});
  blue.left = 4, blue.top = 2;
  const Bytes r = {0, 0, 255}, g = {0, 255, 0}, b = {255, 0, 0}, k = {0, 0, 0};
  auto rows = [](std::initializer_list<Bytes> pixels) {
    Bytes all;
    for (const Bytes& p : pixels) all.insert(all.end(), p.begin(), p.end());
    return all;
  };
  struct Case {
    const char* name;
    std::vector<WebPFrame> frames;
    Bytes shown;
  } cases[] = {
      {"blended: the hole shows the frame below",
       {red, greenWithAHole},
       rows({r, r, r, g, r, r, r, r, g, g, r, r, r, r, r, r, r, r, r, r, r, r, r, r})},
      {"not blended: the hole shows black",
       {red, replacing},
       rows({r, r, k, g, r, r, r, r, g, g, r, r, r, r, r, r, r, r, r, r, r, r, r, r})},
      {"disposed to the background before the next frame",
       {red, disposed, blue},
       rows({k, k, r, r, r, r, k, k, r, r, r, r, r, r, r, r, b, b, r, r, r, r, b, b})},
  };
  test::TempDir dir;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeFile(dir.file("a.webp"), test::animatedWebP(6, 4, c.frames));
    const test::Decoded decoded = test::decodeWhole(dir.file("a.webp"));
    ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
    EXPECT_EQ(decoded.bgr, c.shown);
  }
  DecodeLimits limits;
  limits.maxFrames = 2;
  const test::Decoded refused = test::decodeWhole(dir.file("a.webp"), 0, 0, limits);
  ASSERT_TRUE(refused.failure);
  EXPECT_EQ(refused.failure->detail, "WebP has more than 2 frames");
}

// libwebp composes every frame on a copy of the whole canvas: each frame costs the canvas
// and its own pixels.
TEST(WebPDecoder, AnimationsOfTooManyCanvasesAreRefused) {
  auto dots = [](int count) {
    std::vector<WebPFrame> frames;
    for (int i = 0; i < count; ++i) {
      frames.push_back(
          {{.width = 1, .height = 1, .alpha = true, .lossless = true}, {200, 30, 40, 255}, 2 * i});
    }
    return frames;
  };
  test::TempDir dir;
  test::writeFile(dir.file("a.webp"), test::animatedWebP(6688, 6688, dots(1000)));
  test::Decoded decoded = test::decodeWhole(dir.file("a.webp"));
  ASSERT_TRUE(decoded.failure);
  EXPECT_EQ(decoded.failure->kind, FailureKind::TooLarge);
  EXPECT_EQ(decoded.failure->detail,
            "6688 x 6688 WebP animation is too large to decode (1000 frames, 44729 million pixels "
            "in all; at most 1073 million)");

  // Three canvases of 6 x 4 and three dots: 75 pixels.
  test::writeFile(dir.file("a.webp"), test::animatedWebP(6, 4, dots(3)));
  DecodeLimits limits;
  limits.maxPixels = 75;
  decoded = test::decodeWhole(dir.file("a.webp"), 0, 0, limits);
  ASSERT_FALSE(decoded.failure) << decoded.failure->detail;
  Bytes shown(6 * 4 * 3, 0);
  for (std::size_t x : {0, 2, 4}) shown[3 * x] = 40, shown[3 * x + 1] = 30, shown[3 * x + 2] = 200;
  EXPECT_EQ(decoded.bgr, shown);
  limits.maxPixels = 74;
  decoded = test::decodeWhole(dir.file("a.webp"), 0, 0, limits);
  ASSERT_TRUE(decoded.failure);
  EXPECT_EQ(decoded.failure->detail,
            "6 x 4 WebP animation is too large to decode (3 frames, 75 pixels in all; at most 74)");
}

}  // namespace
}  // namespace tessaren
