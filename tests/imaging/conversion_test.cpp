// Picture file to BMP file, whatever the format: JPEG at full size byte for byte
// djpeg's (the bands of rows are the pipeline's, the same for every format), Fit/Fill/Span
// pixels where each monitor shows them, the limits of full size, stopping, and every reason a
// conversion gives up, each leaving no file behind.
#include "imaging/conversion.h"

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#if defined(__SANITIZE_ADDRESS__)
// AddressSanitizer's runtime has these; Debian's GCC ships no header for them.
extern "C" int __sanitizer_install_malloc_and_free_hooks(void (*allocated)(const volatile void*,
                                                                           std::size_t),
                                                         void (*freed)(const volatile void*));
extern "C" std::size_t __sanitizer_get_allocated_size(const volatile void* block);
#endif

#include "imaging/bitmap_file.h"
#include "settings/display_mode.h"
#include "tests/imaging/decoding.h"

namespace tessaren {
namespace {

using test::Bytes;
using test::JpegRecipe;

int run(const std::string& command) {
  const int status = std::system((command + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The PNG with another size in its header, the header's checksum made good again.
Bytes withPngSize(Bytes png, std::uint32_t width, std::uint32_t height) {
  Bytes header(png.begin() + 16, png.begin() + 29);
  for (int i = 0; i < 4; ++i) {
    header[i] = std::uint8_t(width >> (24 - 8 * i));
    header[4 + i] = std::uint8_t(height >> (24 - 8 * i));
  }
  const Bytes chunk = test::pngChunk("IHDR", header);
  std::copy(chunk.begin(), chunk.end(), png.begin() + 8);
  return png;
}

class Conversion : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    test::writeFile(path, bytes);
    return path;
  }

  test::TempDir dir;
  const std::string bmpPath = dir.file("out.bmp");
};

TEST_F(Conversion, JpegAtFullSizeIsDjpegsFileByteForByte) {
  if (run("djpeg -version") != 0) GTEST_SKIP() << "djpeg is not installed";
  const JpegRecipe recipes[] = {
      {.width = 17, .height = 5},
      {.width = 16, .height = 6, .subsampled = true},  // the library's merged upsampling
      {.width = 33, .height = 17, .subsampled = true},
      {.width = 1, .height = 1},
      {.width = 9, .height = 40, .components = 1},
      {.width = 24, .height = 11, .progressive = true, .subsampled = true},
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
    const ConversionResult result = convertToBitmap(jpegPath, bmpPath);
    ASSERT_FALSE(result.failure) << result.failure->detail;
    EXPECT_EQ(result.format, PictureFormat::Jpeg);
    EXPECT_FALSE(result.cutShort);
    EXPECT_EQ(result.width, r.width);
    EXPECT_EQ(result.height, r.height);
    // djpeg writes greyscale as an 8-bit paletted BMP; ask it for colour output.
    const std::string grey = r.components == 1 ? " -rgb" : "";
    ASSERT_EQ(
        run("djpeg -bmp" + grey + " -outfile '" + dir.file("djpeg.bmp") + "' '" + jpegPath + "'"),
        0);
    EXPECT_TRUE(test::readFile(bmpPath) == test::readFile(dir.file("djpeg.bmp")));
  }
}

// Flat pictures make every drawn pixel the picture's colour and every other one black,
// so a whole canvas can be checked: the place of each monitor's part (after the roll of
// a tiled layout), the order of the rows, the colour models, each format's own way of
// shrinking (DCT scaling, libwebp's rescaler, none).
TEST_F(Conversion, FitFillAndSpanDrawEachMonitorsPartInPlace) {
  const std::vector<Monitor> one = {{{0, 0, 320, 200}, true}};
  const std::vector<Monitor> leftAndAbove = {{{0, 0, 320, 200}, true}, {{-160, -120, 0, 0}, false}};
  auto jpeg = [](JpegRecipe recipe, const Bytes& stored) {
    recipe.quality = 100;
    return test::encodeJpeg(recipe, test::flatPixels(recipe.width, recipe.height, stored));
  };
  struct Case {
    const char* name;
    Bytes file;
    Bytes bgr;
    DisplayMode mode;
    std::vector<Monitor> monitors;
    bool tiled;
  } cases[] = {
      {"wide colour JPEG fitted",
       jpeg({.width = 1000, .height = 250, .subsampled = true}, {250, 100, 20}),
       {20, 100, 250},
       DisplayMode::Fit,
       one,
       false},
      {"tall grey JPEG fitted, enlarged",
       jpeg({.width = 30, .height = 90, .components = 1}, {90}),
       {90, 90, 90},
       DisplayMode::Fit,
       one,
       false},
      {"CMYK JPEG fitted on two monitors, tiled",
       jpeg({.width = 640, .height = 640, .components = 4}, {255, 0, 255, 255}),
       {255, 0, 255},
       DisplayMode::Fit,
       leftAndAbove,
       true},
      {"progressive JPEG filled on two monitors, spanned",
       jpeg({.width = 801, .height = 333, .progressive = true}, {10, 200, 90}),
       {90, 200, 10},
       DisplayMode::Fill,
       leftAndAbove,
       false},
      {"JPEG filled on two monitors, tiled",
       jpeg({.width = 801, .height = 333}, {10, 200, 90}),
       {90, 200, 10},
       DisplayMode::Fill,
       leftAndAbove,
       true},
      {"grey JPEG spanned, tiled",
       jpeg({.width = 64, .height = 48, .components = 1}, {200}),
       {200, 200, 200},
       DisplayMode::Span,
       leftAndAbove,
       true},
      {"PNG far larger than the monitors, averaged, filled",
       test::encodePng({.width = 3000, .height = 1100}, test::flatPixels(3000, 1100, {40, 50, 60})),
       {60, 50, 40},
       DisplayMode::Fill,
       leftAndAbove,
       true},
      {"WebP shrunk by its rescaler, fitted",
       test::encodeWebP({.width = 2000, .height = 900, .lossless = true},
                        test::flatPixels(2000, 900, {5, 250, 128})),
       {128, 250, 5},
       DisplayMode::Fit,
       leftAndAbove,
       false},
      {"GIF spanned",
       test::encodeGif(50, 40, {7, 8, 9}, {{0, 0, 50, 40, Bytes(2000, 0), {}, 1, -1, true}}),
       {9, 8, 7},
       DisplayMode::Span,
       leftAndAbove,
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ConversionRequest request;
    request.drawn = c.mode;
    request.monitors = c.monitors;
    request.tiled = c.tiled;
    const ConversionResult result = convertToBitmap(put("flat", c.file), bmpPath, request);
    ASSERT_FALSE(result.failure) << result.failure->detail;

    const CanvasLayout layout = layOut(c.mode, result.width, result.height, c.monitors, c.tiled);
    const test::Bitmap bitmap = test::readBitmap(bmpPath);
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
// eighth or in place of it, a DCT scale on its own, libwebp's rescaler, enlarging.
TEST_F(Conversion, GradientsKeepTheirPlaceAtEveryScale) {
  const int width = 2400, height = 600;
  Bytes pixels;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      pixels.insert(pixels.end(), {std::uint8_t(x * 255 / (width - 1)),
                                   std::uint8_t(y * 255 / (height - 1)), 128});
    }
  }
  const struct {
    const char* format;
    Bytes file;
  } pictures[] = {
      {"JPEG", test::encodeJpeg({.width = width, .height = height, .quality = 100}, pixels)},
      {"PNG", test::encodePng({.width = width, .height = height, .compressionLevel = 1}, pixels)},
      {"WebP", test::encodeWebP({.width = width, .height = height, .lossless = true}, pixels)},
  };
  // How far a value may stray; one pixel off on the smallest screen would be 4 or more.
  const struct {
    int screenWidth, screenHeight, tolerance;
  } screens[] = {{60, 40, 1}, {300, 200, 3}, {1000, 700, 3}, {4000, 3000, 5}};
  for (const auto& picture : pictures) {
    const std::string path = put("ramp", picture.file);
    for (const auto& [screenWidth, screenHeight, tolerance] : screens) {
      SCOPED_TRACE(testing::Message()
                   << picture.format << " on " << screenWidth << "x" << screenHeight);
      ConversionRequest request;
      request.drawn = DisplayMode::Fit;
      request.monitors = {{{0, 0, screenWidth, screenHeight}, true}};
      const ConversionResult result = convertToBitmap(path, bmpPath, request);
      ASSERT_FALSE(result.failure) << result.failure->detail;
      const Rect part = fitInside(width, height, request.monitors[0].bounds);
      const test::Bitmap bitmap = test::readBitmap(bmpPath);
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
}

// Every way a conversion gives up: its kind, its reason, and no file left where it wrote.
TEST_F(Conversion, FailuresSayWhyAndLeaveNoFile) {
  const Bytes jpeg = test::encodeJpeg({.width = 64, .height = 48}, test::patternPixels(64, 48, 3));
  const Bytes progressive = test::encodeJpeg({.width = 32, .height = 32, .progressive = true},
                                             test::patternPixels(32, 32, 3));
  // A Huffman table whose code counts add up to far more than 256 codes.
  Bytes badTable = jpeg;
  for (std::size_t i = 2; i + 21 < badTable.size(); ++i) {
    if (badTable[i] == 0xFF && badTable[i + 1] == 0xC4) {
      std::fill(badTable.begin() + std::ptrdiff_t(i) + 5, badTable.begin() + std::ptrdiff_t(i) + 21,
                0xFF);
      break;
    }
  }
  const Bytes png = test::encodePng({.width = 64, .height = 48}, test::patternPixels(64, 48, 3));
  Bytes headerCrc = png, dataCrc = png;
  headerCrc[29] ^= 1;                 // a byte of IHDR's checksum
  dataCrc[dataCrc.size() - 13] ^= 1;  // the last byte of IDAT's checksum, before IEND
  const Bytes gif = test::encodeGif(8, 8, {1, 2, 3}, {{0, 0, 8, 8, test::patternPixels(8, 8, 1)}});
  const std::vector<test::GifFrame> manyFrames(5000, test::GifFrame{0, 0, 1, 1, {0}});
  const Bytes webp = test::encodeWebP({.width = 64, .height = 48}, test::patternPixels(64, 48, 3));
  auto withRiffSize = [](Bytes webp, std::size_t bytes) {
    for (int i = 0; i < 4; ++i) webp[4 + i] = std::uint8_t((bytes - 8) >> (8 * i));
    return webp;
  };
  Bytes badStart = webp;
  badStart[23] = 0;  // the VP8 frame's start code, 9D 01 2A
  const std::string page = "<!DOCTYPE html>\n<html><body>502 Bad Gateway</body></html>\n";
  auto half = [](const Bytes& bytes) {
    return Bytes(bytes.begin(), bytes.begin() + bytes.size() / 2);
  };
  auto allBut = [](const Bytes& bytes, std::size_t n) {
    return Bytes(bytes.begin(), bytes.end() - n);
  };
  const std::uint64_t jpegBitmap = 54 + 192 * 48;
  const std::atomic<bool> stopped{true};
  using enum FailureKind;
  struct Case {
    const char* name;
    std::optional<Bytes> file;  // nothing: no file at all
    FailureKind kind;
    std::string reason;
    std::optional<DisplayMode> drawn = std::nullopt;
    std::string contentType = "";
    std::optional<std::uint64_t> free = 1ull << 40;
    const std::atomic<bool>* stop = nullptr;
    std::vector<Monitor> monitors = {{{0, 0, 100, 100}, true}};
  } cases[] = {
      {"missing", std::nullopt, CannotRead,
       "can't read " + dir.file("in") + ": No such file or directory"},
      {"empty", Bytes{}, NotAPicture, "not a picture Tessaren can read (empty)"},
      {"HTML page", Bytes(page.begin(), page.end()), NotAPicture,
       "not a picture Tessaren can read (text/html, starts with `<!DOCTYPE`)", std::nullopt,
       "text/html; charset=utf-8"},
      {"JPEG with a bogus Huffman table", badTable, BrokenPicture,
       "broken JPEG picture (Bogus Huffman table definition)"},
      {"JPEG cut short", half(jpeg), CutShort, "JPEG cut short"},
      {"JPEG cut short, fitted", half(jpeg), CutShort, "JPEG cut short", DisplayMode::Fit},
      {"JPEG of two components",
       test::encodeJpeg({.width = 8, .height = 8, .components = 2}, Bytes(128, 7)), BrokenPicture,
       "JPEG with 2 colour components: unsupported"},
      {"JPEG of hundreds of scans", test::withRepeatedLastScan(progressive, 150), TooLarge,
       "JPEG has more than 100 progressive scans"},
      {"JPEG of 37000 x 37000 at full size", test::flatGreyJpeg(37000, 37000), TooLarge,
       "37000 x 37000 is too large to show at full size (4.1 GB); choose Fit or Fill"},
      {"JPEG of 40000 x 10 at full size", test::flatGreyJpeg(40000, 10), TooLarge,
       "40000 x 10 is too large to show at full size (over 32767 pixels a side); choose Fit or "
       "Fill"},
      {"PNG cut short in its pixels", half(png), CutShort, "PNG cut short"},
      {"PNG cut short before its end chunk", allBut(png, 6), CutShort, "PNG cut short"},
      {"PNG with a wrong header checksum", headerCrc, BrokenPicture,
       "broken PNG picture (invalid chunk checksum)"},
      {"PNG with a wrong data checksum", dataCrc, BrokenPicture,
       "broken PNG picture (invalid chunk checksum)", DisplayMode::Fill},
      {"PNG bomb: 6 MB inflating to 6.4 GB", test::zeroPng(40000, 40000), TooLarge,
       "40000 x 40000 PNG is larger than Tessaren reads (1600 million pixels; at most 1073 "
       "million)",
       DisplayMode::Fit},
      {"PNG header of 1 x 1,000,000,000", withPngSize(png, 1, 1000000000), TooLarge,
       "1 x 1000000000 PNG is larger than Tessaren reads (at most 65500 pixels a side)"},
      {"GIF with no frames", test::encodeGif(8, 8, {1, 2, 3}, {}), BrokenPicture,
       "broken GIF picture (no frames)"},
      {"GIF of 5000 frames", test::encodeGif(1, 1, {1, 2, 3}, manyFrames), TooLarge,
       "GIF has more than 1000 frames", DisplayMode::Fit},
      {"GIF cut short", half(gif), CutShort, "GIF cut short"},
      {"WebP whose RIFF size is larger than the file", withRiffSize(webp, webp.size() + 256),
       CutShort, "WebP cut short"},
      {"WebP whose RIFF size is smaller than its picture", withRiffSize(webp, webp.size() - 40),
       BrokenPicture, "broken WebP picture (bitstream error)"},
      {"WebP cut short", half(webp), CutShort, "WebP cut short", DisplayMode::Fill},
      {"WebP with a broken frame header", badStart, BrokenPicture,
       "broken WebP picture (bitstream error)"},
      {"one byte short of the headroom", jpeg, DiskFull,
       "not enough free space on " + dir.path().string() + "/ for a 1 MB picture", std::nullopt, "",
       jpegBitmap + kFreeSpaceHeadroom - 1},
      {"no monitor to fill",
       png,
       NoMonitor,
       "no monitor to draw the picture on",
       DisplayMode::Fill,
       "",
       1ull << 40,
       nullptr,
       {}},
      {"stopped", jpeg, Cancelled, "cancelled", std::nullopt, "", 1ull << 40, &stopped},
      {"stopped while fitting", gif, Cancelled, "cancelled", DisplayMode::Fill, "", 1ull << 40,
       &stopped},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(dir.file("in"));
    if (c.file) put("in", *c.file);
    ConversionRequest request;
    request.freeBytes = c.free;
    request.stop = c.stop;
    request.drawn = c.drawn;
    request.monitors = c.monitors;
    request.contentType = c.contentType;
    const ConversionResult result = convertToBitmap(dir.file("in"), bmpPath, request);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->kind, c.kind);
    EXPECT_EQ(result.failure->detail, c.reason);
    EXPECT_FALSE(std::filesystem::exists(bmpPath));
  }
  // Exactly enough free space.
  put("in", jpeg);
  ConversionRequest enough;
  enough.freeBytes = jpegBitmap + kFreeSpaceHeadroom;
  EXPECT_FALSE(convertToBitmap(dir.file("in"), bmpPath, enough).failure);

  const ConversionResult nowhere = convertToBitmap(dir.file("in"), dir.file("no/x.bmp"));
  ASSERT_TRUE(nowhere.failure);
  EXPECT_EQ(nowhere.failure->kind, FailureKind::CannotWrite);
  EXPECT_EQ(nowhere.failure->detail,
            "can't write " + dir.file("no/x.bmp") + ": No such file or directory");
}

// Too large for full size is still a picture to draw: a flat grey 37000 x 37000 JPEG
// fitted to a monitor decodes at an eighth of its size, then is averaged further.
TEST_F(Conversion, PictureTooLargeForFullSizeIsDrawnInFit) {
  ConversionRequest request;
  request.drawn = DisplayMode::Fit;
  request.monitors = {{{0, 0, 1920, 1080}, true}};
  const ConversionResult result =
      convertToBitmap(put("huge.jpg", test::flatGreyJpeg(37000, 37000)), bmpPath, request);
  ASSERT_FALSE(result.failure) << result.failure->detail;
  EXPECT_EQ(result.width, 37000);
  const test::Bitmap bitmap = test::readBitmap(bmpPath);
  ASSERT_EQ(bitmap.width, 1920);
  ASSERT_EQ(bitmap.height, 1080);
  for (auto [x, y, grey] : {std::tuple{0, 0, 0},
                            {419, 500, 0},
                            {420, 0, 128},
                            {960, 540, 128},
                            {1499, 1079, 128},
                            {1500, 1079, 0}}) {
    EXPECT_EQ(Bytes(bitmap.at(x, y), bitmap.at(x, y) + 3), Bytes(3, std::uint8_t(grey)))
        << x << "," << y;
  }
}

// The stop flag raised while a large progressive JPEG is being read: the conversion ends
// as Cancelled, from wherever it was (inside the scans, the progress monitor sees it).
// How soon is bench/convert-bench's to measure; here it is only printed.
TEST_F(Conversion, StopDuringALargeProgressiveJpegCancels) {
  const int width = 6000, height = 5000;
  Bytes pixels(std::size_t(width) * height * 3);
  for (std::size_t i = 0; i < pixels.size(); ++i) pixels[i] = std::uint8_t(i * 2654435761u >> 24);
  const std::string path =
      put("progressive.jpg",
          test::encodeJpeg(
              {.width = width, .height = height, .progressive = true, .subsampled = true}, pixels));
  pixels.clear();
  std::atomic<bool> stop{false};
  ConversionRequest request;
  request.stop = &stop;
  std::chrono::steady_clock::time_point raised;
  std::thread stopper([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    raised = std::chrono::steady_clock::now();
    stop = true;
  });
  const ConversionResult result = convertToBitmap(path, bmpPath, request);
  const auto returned = std::chrono::steady_clock::now();
  stopper.join();
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->kind, FailureKind::Cancelled);
  EXPECT_FALSE(std::filesystem::exists(bmpPath));
  std::printf("cancelled %.1f ms after the stop flag was raised\n",
              std::chrono::duration<double, std::milli>(returned - raised).count());
}

TEST_F(Conversion, CutShortPictureIsWrittenWhenTheCallerKeepsIt) {
  ConversionRequest request;
  request.keepCutShort = true;
  // JPEG: the rows past the end grey, exactly as djpeg makes them.
  const Bytes jpeg = test::encodeJpeg({.width = 40, .height = 64}, test::patternPixels(40, 64, 3));
  const std::string jpegPath = put("cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
  ConversionResult result = convertToBitmap(jpegPath, bmpPath, request);
  ASSERT_FALSE(result.failure);
  EXPECT_TRUE(result.cutShort);
  if (run("djpeg -version") == 0) {
    run("djpeg -bmp -outfile '" + dir.file("djpeg.bmp") + "' '" + jpegPath + "'");
    EXPECT_TRUE(test::readFile(bmpPath) == test::readFile(dir.file("djpeg.bmp")));
  }
  // PNG (stored uncompressed, 121 bytes a row): the rows it holds, then black.
  const Bytes rgb = test::patternPixels(40, 400, 3);
  const Bytes png = test::encodePng({.width = 40, .height = 400, .compressionLevel = 0}, rgb);
  result = convertToBitmap(put("cut.png", Bytes(png.begin(), png.begin() + png.size() / 2)),
                           bmpPath, request);
  ASSERT_FALSE(result.failure) << result.failure->detail;
  EXPECT_TRUE(result.cutShort);
  const test::Bitmap bitmap = test::readBitmap(bmpPath);
  ASSERT_EQ(bitmap.height, 400);
  const Bytes expected = test::asBgr(rgb, 3);
  EXPECT_TRUE(std::equal(bitmap.bgr.begin(), bitmap.bgr.begin() + 100 * 120, expected.begin()));
  EXPECT_EQ(Bytes(bitmap.bgr.end() - 200 * 120, bitmap.bgr.end()), Bytes(200 * 120, 0));
}

#if defined(__SANITIZE_ADDRESS__)
// Every heap block of the process, the libraries' included, counted while measuring.
std::atomic<bool> measuring{false};
std::atomic<std::int64_t> heapInUse{0}, heapPeak{0};
void countAllocation(const volatile void*, std::size_t size) {
  if (!measuring) return;
  const std::int64_t now = heapInUse += std::int64_t(size);
  for (std::int64_t peak = heapPeak; now > peak && !heapPeak.compare_exchange_weak(peak, now);) {
  }
}
void countRelease(const volatile void* block) {
  if (measuring) heapInUse -= std::int64_t(__sanitizer_get_allocated_size(block));
}
#endif

// A 10848 x 10848 PNG (353 MB of pixels) at full size: rows go from libspng into the file
// a band at a time, so the heap stays within 16 MiB, and the BMP holds exactly the pixels
// ImageMagick reads.
TEST_F(Conversion, LargePngStreamsWithinSixteenMebibytes) {
#if !defined(__SANITIZE_ADDRESS__)
  GTEST_SKIP() << "the heap is counted through AddressSanitizer's allocation hooks";
#else
  const int side = 10848;
  const std::string png = dir.file("large.png");
  test::writeLargePng(png, side, side);
  __sanitizer_install_malloc_and_free_hooks(countAllocation, countRelease);
  measuring = true;
  const ConversionResult result = convertToBitmap(png, bmpPath);
  measuring = false;
  ASSERT_FALSE(result.failure) << result.failure->detail;
  std::printf("heap peak %.1f MiB\n", double(heapPeak) / (1 << 20));
  EXPECT_LE(heapPeak, 16 << 20);

  const std::string magick = dir.file("magick.rgb");
  ASSERT_EQ(run("/usr/bin/convert-im6.q16 '" + png + "' -depth 8 'rgb:" + magick + "'"), 0);
  OwnedFile ours(std::fopen(bmpPath.c_str(), "rb")), theirs(std::fopen(magick.c_str(), "rb"));
  ASSERT_TRUE(ours && theirs);
  const std::size_t stride = bitmapStride(side);
  Bytes row(stride), reference(std::size_t(side) * 3);
  int differing = 0;
  for (int y = 0; y < side; ++y) {
    ASSERT_EQ(std::fseek(ours.get(), long(54 + std::size_t(side - 1 - y) * stride), SEEK_SET), 0);
    ASSERT_EQ(std::fread(row.data(), 1, stride, ours.get()), stride);
    ASSERT_EQ(std::fread(reference.data(), 1, reference.size(), theirs.get()), reference.size());
    differing += !std::equal(
        reference.begin(), reference.end(),
        test::asBgr(Bytes(row.begin(), row.begin() + std::ptrdiff_t(reference.size())), 3).begin());
  }
  EXPECT_EQ(differing, 0);
#endif
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

// A picture in tiles: what is drawn at full size is what the kept PNG holds, pixel for
// pixel; and a mosaic beyond the limits, stopped or with a tile that is no picture is
// refused before anything is written, naming the tile.
TEST_F(Conversion, MosaicsAreBoundedAsOnePicture) {
  Mosaic mosaic{2, 2, {}, {}};
  for (int i = 0; i < 4; ++i) {
    const Bytes pixels = test::patternPixels(8 + i, 8, 3);  // each tile its own pattern
    Bytes cropped;
    for (int y = 0; y < 8; ++y)
      cropped.insert(cropped.end(), pixels.begin() + y * (8 + i) * 3,
                     pixels.begin() + (y * (8 + i) + 8) * 3);
    mosaic.tiles.push_back(put("tile" + std::to_string(i) + ".png",
                               test::encodePng({.width = 8, .height = 8}, cropped)));
    mosaic.names.push_back("tile " + std::to_string(i));
  }
  Bytes assembled;
  ConversionRequest request;
  request.assembled = [&](const void* data, std::size_t size) -> std::optional<Failure> {
    assembled.insert(assembled.end(), static_cast<const std::uint8_t*>(data),
                     static_cast<const std::uint8_t*>(data) + size);
    return std::nullopt;
  };
  const ConversionResult whole = convertToBitmap(mosaic, bmpPath, request);
  ASSERT_FALSE(whole.failure) << whole.failure->detail;
  EXPECT_EQ(whole.width, 16);
  EXPECT_EQ(whole.height, 16);
  const std::string keptPath = put("kept.png", assembled);
  ASSERT_FALSE(convertToBitmap(keptPath, dir.file("kept.bmp")).failure);
  EXPECT_TRUE(test::readFile(bmpPath) == test::readFile(dir.file("kept.bmp")));

  std::atomic<bool> stop{false};
  struct Case {
    const char* name;
    std::function<void(ConversionRequest&, Mosaic&)> change;
    FailureKind kind;
    std::string detail;
  } const cases[] = {
      {"too many pixels", [](ConversionRequest& r, Mosaic&) { r.limits.maxPixels = 255; },
       FailureKind::TooLarge, "2 x 2 tiles of 8 x 8 (16 x 16) are larger than Tessaren reads"},
      {"too wide", [](ConversionRequest& r, Mosaic&) { r.limits.maxSide = 15; },
       FailureKind::TooLarge,
       "2 x 2 tiles of 8 x 8 (16 x 16) are larger than Tessaren reads (at most 15 pixels a side)"},
      {"a row of tiles beyond the memory of one picture",
       [](ConversionRequest& r, Mosaic&) { r.limits.maxPixelBytes = 2 * 8 * 8 * 4 - 1; },
       FailureKind::TooLarge, "2 x 2 tiles of 8 x 8 (16 x 16): a row of tiles needs more than"},
      {"a tile of another size",
       [&](ConversionRequest&, Mosaic& m) {
         m.tiles[2] = put("small.png",
                          test::encodePng({.width = 8, .height = 7}, test::patternPixels(8, 7, 3)));
       },
       FailureKind::BrokenPicture, "tile 2 is 8 x 7, the others 8 x 8"},
      {"a tile that is no picture",
       [&](ConversionRequest&, Mosaic& m) {
         m.tiles[3] = put("page.png", Bytes{'<', 'p', '>'});
       },
       FailureKind::NotAPicture, "tile 3: not a picture"},
      {"stopped", [&](ConversionRequest& r, Mosaic&) { r.stop = &stop; }, FailureKind::Cancelled,
       ""},
  };
  stop = true;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(bmpPath);
    assembled.clear();
    ConversionRequest changed = request;
    Mosaic tiles = mosaic;
    c.change(changed, tiles);
    const ConversionResult result = convertToBitmap(tiles, bmpPath, changed);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->kind, c.kind);
    EXPECT_EQ(result.failure->detail.rfind(c.detail, 0), 0u) << result.failure->detail;
    EXPECT_FALSE(std::filesystem::exists(bmpPath));
    EXPECT_TRUE(assembled.empty()) << "refused before anything was decoded";
  }
}

}  // namespace
}  // namespace tessaren
