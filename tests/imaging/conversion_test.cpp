// JPEG file to BMP file: the streamed full-size file byte for byte against the whole-buffer
// steps, Fit/Fill/Span pixels where each monitor shows them, and every reason a
// conversion gives up, each leaving no file behind.
#include "imaging/conversion.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/bitmap_writer.h"
#include "tests/imaging/jpeg_fixtures.h"

namespace tessaren {
namespace {

using test::Bytes;
using test::JpegRecipe;

class Conversion : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    test::writeFile(path, bytes);
    return path;
  }
  // The BMP file that decodeJpegFile, reverseRows, swapRedBlue and BitmapWriter make.
  Bytes wholeBufferBitmap(const std::string& jpegPath) {
    auto decoded = decodeJpegFile(jpegPath);
    EXPECT_TRUE(decoded);
    if (!decoded) return {};
    PixelBuffer& b = decoded->buffer;
    reverseRows(b.pixels.get(), b.width, b.height);
    swapRedBlue(b.pixels.get(), b.width, b.height);
    BitmapWriter writer;
    writer.write(dir.file("whole.bmp"), b.pixels.get(), b.width, b.height);
    return test::readFile(dir.file("whole.bmp"));
  }

  test::TempDir dir;
  const std::string bmpPath = dir.file("out.bmp");
};

TEST_F(Conversion, StreamedBitmapMatchesTheWholeBufferStepsForEveryKindOfPicture) {
  const JpegRecipe recipes[] = {
      {.width = 17, .height = 5},
      {.width = 16, .height = 6, .subsampled = true},  // the library's merged upsampling
      {.width = 33, .height = 17, .subsampled = true},
      {.width = 1, .height = 1},
      {.width = 9, .height = 40, .components = 1},
      {.width = 24, .height = 11, .progressive = true, .subsampled = true},
      {.width = 10, .height = 7, .components = 4},
      {.width = 10, .height = 7, .components = 4, .adobeMarker = false},
      {.width = 12, .height = 9, .components = 4, .ycck = true},
      {.width = 300, .height = 3, .components = 1, .progressive = true},
      // Several bands: 582 rows of 900 bytes in each, the last one short.
      {.width = 300, .height = 1500, .subsampled = true},
      // Rows wider than a band's bytes: 16 rows a band all the same.
      {.width = 12001, .height = 37, .subsampled = true},
  };
  for (const JpegRecipe& r : recipes) {
    SCOPED_TRACE(testing::Message() << r.width << "x" << r.height << " components " << r.components
                                    << (r.progressive ? " progressive" : ""));
    const std::string jpegPath =
        put("in.jpg", test::encodeJpeg(r, test::patternPixels(r.width, r.height, r.components)));
    const ConversionResult result = convertJpegToBitmap(jpegPath, bmpPath);
    ASSERT_TRUE(result.written) << result.reason;
    EXPECT_EQ(result.reason, "");
    EXPECT_FALSE(result.cutShort);
    EXPECT_EQ(result.width, r.width);
    EXPECT_EQ(result.height, r.height);
    EXPECT_TRUE(test::readFile(bmpPath) == wholeBufferBitmap(jpegPath));
  }
}

// Reads a 24-bit BMP file into top-down rows of blue, green, red.
struct Bitmap {
  int width = 0, height = 0;
  Bytes pixels;
  const std::uint8_t* at(int x, int y) const { return &pixels[(std::size_t(y) * width + x) * 3]; }
};

Bitmap readBitmap(const std::string& path) {
  const Bytes file = test::readFile(path);
  Bitmap bitmap;
  if (file.size() < 54) return bitmap;
  auto field = [&](std::size_t at) {
    return int(file[at] | file[at + 1] << 8 | file[at + 2] << 16 | file[at + 3] << 24);
  };
  bitmap.width = field(18);
  bitmap.height = field(22);
  const std::size_t stride = bitmapStride(bitmap.width);
  EXPECT_EQ(file.size(), 54 + stride * bitmap.height);
  for (int y = bitmap.height - 1; y >= 0; --y) {
    const auto row = file.begin() + 54 + std::ptrdiff_t(stride) * y;
    bitmap.pixels.insert(bitmap.pixels.end(), row, row + bitmap.width * 3);
  }
  return bitmap;
}

// Flat pictures make every drawn pixel the picture's colour and every other one black,
// so a whole canvas can be checked: the place of each monitor's part (after the roll of
// a tiled layout), the order of the rows, the colour models and the scaled decode.
TEST_F(Conversion, FitFillAndSpanDrawEachMonitorsPartInPlace) {
  const std::vector<Monitor> one = {{{0, 0, 320, 200}, true}};
  const std::vector<Monitor> leftAndAbove = {{{0, 0, 320, 200}, true}, {{-160, -120, 0, 0}, false}};
  struct Case {
    const char* name;
    JpegRecipe recipe;
    Bytes stored, bgr;
    FitMode mode;
    std::vector<Monitor> monitors;
    bool tiled;
  } cases[] = {
      {"wide colour picture fitted",
       {.width = 1000, .height = 250, .subsampled = true},
       {250, 100, 20},
       {20, 100, 250},
       FitMode::Fit,
       one,
       false},
      {"tall grey picture fitted, enlarged",
       {.width = 30, .height = 90, .components = 1},
       {90},
       {90, 90, 90},
       FitMode::Fit,
       one,
       false},
      {"CMYK picture fitted on two monitors, tiled",
       {.width = 640, .height = 640, .components = 4},
       {255, 0, 255, 255},
       {255, 0, 255},
       FitMode::Fit,
       leftAndAbove,
       true},
      {"colour picture filled on two monitors, spanned",
       {.width = 801, .height = 333, .progressive = true},
       {10, 200, 90},
       {90, 200, 10},
       FitMode::Fill,
       leftAndAbove,
       false},
      {"colour picture filled on two monitors, tiled",
       {.width = 801, .height = 333},
       {10, 200, 90},
       {90, 200, 10},
       FitMode::Fill,
       leftAndAbove,
       true},
      {"grey picture spanned, tiled",
       {.width = 64, .height = 48, .components = 1},
       {200},
       {200, 200, 200},
       FitMode::Span,
       leftAndAbove,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    JpegRecipe recipe = c.recipe;
    recipe.quality = 100;
    const std::string jpegPath =
        put("flat.jpg",
            test::encodeJpeg(recipe, test::flatPixels(recipe.width, recipe.height, c.stored)));
    ConversionRequest request;
    request.fit = c.mode;
    request.monitors = c.monitors;
    request.tiled = c.tiled;
    const ConversionResult result = convertJpegToBitmap(jpegPath, bmpPath, request);
    ASSERT_TRUE(result.written) << result.reason;
    EXPECT_EQ(result.width, recipe.width);

    const CanvasLayout layout = layOut(c.mode, recipe.width, recipe.height, c.monitors, c.tiled);
    const Bitmap bitmap = readBitmap(bmpPath);
    ASSERT_EQ(bitmap.width, layout.width);
    ASSERT_EQ(bitmap.height, layout.height);
    int wrong = 0;
    for (int y = 0; y < bitmap.height; ++y) {
      for (int x = 0; x < bitmap.width; ++x) {
        // Where this wallpaper pixel sits in the spanned canvas.
        const int cx = (x - layout.rollX + layout.width) % layout.width;
        const int cy = (y - layout.rollY + layout.height) % layout.height;
        bool drawn = false;
        for (const Placement& p : layout.placements) {
          drawn |= cx >= p.target.left && cx < p.target.right && cy >= p.target.top &&
                   cy < p.target.bottom;
        }
        const Bytes expected = drawn ? c.bgr : Bytes{0, 0, 0};
        for (int k = 0; k < 3; ++k) {
          if (std::abs(bitmap.at(x, y)[k] - expected[k]) > 3 && ++wrong <= 3) {
            ADD_FAILURE() << "pixel " << x << "," << y << " channel " << k << " is "
                          << int(bitmap.at(x, y)[k]) << ", not " << int(expected[k]);
          }
        }
      }
    }
    EXPECT_EQ(wrong, 0);
  }
}

// A picture whose red rises left to right and green top to bottom must keep every value
// in its place whatever shrinks or enlarges it: averaging blocks past the decoder's
// eighth, a DCT scale on its own, DCT scale and resampling, enlarging.
TEST_F(Conversion, GradientsKeepTheirPlaceAtEveryScale) {
  const int width = 2400, height = 600;
  Bytes pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels.insert(pixels.end(), {std::uint8_t(x * 255 / (width - 1)),
                                   std::uint8_t(y * 255 / (height - 1)), 128});
    }
  }
  const std::string jpegPath =
      put("ramp.jpg", test::encodeJpeg({.width = width, .height = height, .quality = 100}, pixels));
  // How far a value may stray; one pixel off on the smallest screen would be 4 or more.
  const struct {
    int screenWidth, screenHeight, tolerance;
  } cases[] = {{60, 40, 1}, {300, 200, 3}, {1000, 700, 3}, {4000, 3000, 5}};
  for (const auto& [screenWidth, screenHeight, tolerance] : cases) {
    SCOPED_TRACE(testing::Message() << "on " << screenWidth << "x" << screenHeight);
    ConversionRequest request;
    request.fit = FitMode::Fit;
    request.monitors = {{{0, 0, screenWidth, screenHeight}, true}};
    ASSERT_TRUE(convertJpegToBitmap(jpegPath, bmpPath, request).written);
    const Rect part = fitInside(width, height, request.monitors[0].bounds);
    const Bitmap bitmap = readBitmap(bmpPath);
    ASSERT_EQ(bitmap.width, screenWidth);
    int worst = 0;
    for (int y = part.top; y < part.bottom; ++y) {
      for (int x = part.left; x < part.right; ++x) {
        const double red = 255.0 * (x - part.left + 0.5) / part.width();
        const double green = 255.0 * (y - part.top + 0.5) / part.height();
        worst = std::max({worst, int(std::abs(bitmap.at(x, y)[2] - red)),
                          int(std::abs(bitmap.at(x, y)[1] - green))});
      }
    }
    EXPECT_LE(worst, tolerance);
  }
}

// Every way a conversion gives up: its reason, and no file left where it wrote.
TEST_F(Conversion, FailuresSayWhyAndLeaveNoFile) {
  const Bytes good = test::encodeJpeg({.width = 64, .height = 48}, test::patternPixels(64, 48, 3));
  const Bytes progressive = test::encodeJpeg({.width = 32, .height = 32, .progressive = true},
                                             test::patternPixels(32, 32, 3));
  // A Huffman table whose code counts add up to far more than 256 codes.
  Bytes badTable = good;
  for (std::size_t i = 2; i + 21 < badTable.size(); ++i) {
    if (badTable[i] == 0xFF && badTable[i + 1] == 0xC4) {
      std::fill(badTable.begin() + std::ptrdiff_t(i) + 5, badTable.begin() + std::ptrdiff_t(i) + 21,
                0xFF);
      break;
    }
  }
  const std::string page = "<html><body>502 Bad Gateway</body></html>\n";
  const std::uint64_t goodSize = 54 + 192 * 48;
  const std::atomic<bool> stopped{true};
  struct Case {
    const char* name;
    std::optional<Bytes> jpeg;  // nothing: no file at all
    std::string reason;
    std::optional<std::uint64_t> free = 1ull << 40;
    const std::atomic<bool>* stop = nullptr;
    std::optional<FitMode> fit = std::nullopt;
  } cases[] = {
      {"missing", std::nullopt, "can't read " + dir.file("in.jpg") + ": No such file or directory"},
      {"empty", Bytes{}, "not a JPEG picture"},
      {"one byte", Bytes{0xFF}, "not a JPEG picture"},
      {"bogus Huffman table", badTable, "broken JPEG picture (Bogus Huffman table definition)"},
      {"text page", Bytes(page.begin(), page.end()), "not a JPEG picture"},
      {"cut short", Bytes(good.begin(), good.begin() + good.size() / 2), "JPEG cut short"},
      {"cut short, fitted", Bytes(good.begin(), good.begin() + good.size() / 2), "JPEG cut short",
       1ull << 40, nullptr, FitMode::Fit},
      {"two components",
       test::encodeJpeg({.width = 8, .height = 8, .components = 2}, Bytes(128, 7)),
       "JPEG with 2 colour components: unsupported"},
      {"hundreds of scans", test::withRepeatedLastScan(progressive, 150),
       "JPEG has more than 100 progressive scans"},
      {"65500 x 65500 does not fit a BMP header", test::withFrameSize(good, 65500, 65500),
       "picture too large for a BMP file (65500 x 65500)"},
      {"one byte short of the headroom", good,
       "not enough free space on " + dir.path().string() + "/ for a 1 MB picture",
       goodSize + kFreeSpaceHeadroom - 1},
      {"stopped", good, "cancelled", 1ull << 40, &stopped},
      {"stopped while fitting", good, "cancelled", 1ull << 40, &stopped, FitMode::Fill},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.file("in.jpg"));
    if (c.jpeg) put("in.jpg", *c.jpeg);
    ConversionRequest request;
    request.freeBytes = c.free;
    request.stop = c.stop;
    request.fit = c.fit;
    request.monitors = {{{0, 0, 100, 100}, true}};
    const ConversionResult result = convertJpegToBitmap(dir.file("in.jpg"), bmpPath, request);
    EXPECT_FALSE(result.written);
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_FALSE(std::filesystem::exists(bmpPath));
  }
  // Exactly enough free space.
  put("in.jpg", good);
  ConversionRequest enough;
  enough.freeBytes = goodSize + kFreeSpaceHeadroom;
  EXPECT_TRUE(convertJpegToBitmap(dir.file("in.jpg"), bmpPath, enough).written);

  const ConversionResult nowhere = convertJpegToBitmap(dir.file("in.jpg"), dir.file("no/x.bmp"));
  EXPECT_EQ(nowhere.reason, "can't write " + dir.file("no/x.bmp") + ": No such file or directory");
}

TEST_F(Conversion, CutShortPictureIsWrittenWhenTheCallerKeepsIt) {
  const Bytes whole = test::encodeJpeg({.width = 40, .height = 64}, test::patternPixels(40, 64, 3));
  const std::string jpegPath =
      put("cut.jpg", Bytes(whole.begin(), whole.begin() + whole.size() / 2));
  ConversionRequest request;
  request.keepCutShort = true;
  const ConversionResult result = convertJpegToBitmap(jpegPath, bmpPath, request);
  EXPECT_TRUE(result.written);
  EXPECT_TRUE(result.cutShort);
  EXPECT_EQ(std::filesystem::file_size(bmpPath), 54u + 120u * 64u);
  testing::internal::CaptureStderr();
  EXPECT_TRUE(test::readFile(bmpPath) == wholeBufferBitmap(jpegPath));
  testing::internal::GetCapturedStderr();
}

TEST(ConversionPaths, DirectoryAndVolume) {
  struct Case {
    const char* path;
    const char* directory;
    const char* volume;
  } cases[] = {
      {"C:\\Users\\me\\AppData\\Local\\Tessaren\\tessaren.bmp.part",
       "C:\\Users\\me\\AppData\\Local\\Tessaren\\", "C:\\"},
      {"/tmp/pictures/out.bmp", "/tmp/pictures/", "/tmp/pictures/"},
      {"\\\\server\\share\\t.bmp", "\\\\server\\share\\", "\\\\server\\share\\"},
      {"out.bmp", ".", "."},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(directoryOf(c.path), c.directory) << c.path;
    EXPECT_EQ(volumeOf(c.path), c.volume) << c.path;
  }
}

}  // namespace
}  // namespace tessaren
