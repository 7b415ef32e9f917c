// Decoding against pictures the tests encode themselves: pixel layout after each step,
// colour models at every decoding scale, and every way a file can be unusable.
#include "imaging/jpeg_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "tests/imaging/jpeg_fixtures.h"

namespace tessaren {
namespace {

using test::Bytes;
using test::JpegRecipe;

Bytes contents(const PixelBuffer& buffer) {
  return Bytes(buffer.pixels.get(), buffer.pixels.get() + buffer.size());
}

// Largest difference of any byte.
int distance(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size()) return 1000;
  int worst = 0;
  for (std::size_t i = 0; i < a.size(); ++i) worst = std::max(worst, std::abs(a[i] - b[i]));
  return worst;
}

class JpegDecoder : public ::testing::Test {
 protected:
  std::string put(const std::string& name, const Bytes& bytes) {
    std::string path = dir.file(name);
    test::writeFile(path, bytes);
    return path;
  }
  test::TempDir dir;
};

TEST_F(JpegDecoder, TwoByThreeEndsBottomUpBlueGreenRed) {
  // Rows top to bottom: (p1, p2), (p3, p4), (p5, p6), each red, green, blue.
  const Bytes p[6] = {{200, 30, 30},  {30, 200, 30},  {30, 30, 200},
                      {200, 200, 30}, {30, 200, 200}, {120, 120, 120}};
  Bytes source;
  for (const Bytes& pixel : p) source.insert(source.end(), pixel.begin(), pixel.end());
  const Bytes jpeg = test::encodeJpeg({.width = 2, .height = 3, .quality = 100}, source);
  const std::string path = put("six.jpg", jpeg);

  auto decoded = decodeJpegFile(path);
  ASSERT_TRUE(decoded);
  PixelBuffer& buffer = decoded->buffer;
  ASSERT_EQ(buffer.width, 2);
  ASSERT_EQ(buffer.height, 3);
  EXPECT_FALSE(decoded->endedEarly);
  // Exactly the library's own decode, and close to what was encoded.
  const test::ReferencePicture reference = test::referenceDecode(jpeg);
  ASSERT_EQ(contents(buffer), reference.pixels);
  EXPECT_LE(distance(contents(buffer), source), 12);

  reverseRows(buffer.pixels.get(), buffer.width, buffer.height);
  swapRedBlue(buffer.pixels.get(), buffer.width, buffer.height);
  Bytes expected;
  for (int index : {4, 5, 2, 3, 0, 1}) {
    const std::uint8_t* rgb = reference.pixels.data() + index * 3;
    expected.insert(expected.end(), {rgb[2], rgb[1], rgb[0]});
  }
  EXPECT_EQ(contents(buffer), expected);
}

TEST(RowOperations, ReverseRowsAndSwapRedBlueInPlace) {
  struct Case {
    int width, height;
  } cases[] = {{2, 5}, {3, 4}, {1, 1}, {4, 2}, {0, 3}, {2, 0}};
  for (const Case& c : cases) {
    const int size = std::max(c.width, 0) * std::max(c.height, 0) * 3;
    Bytes pixels(static_cast<std::size_t>(size) + 3, 0xEE);  // 3 guard bytes
    for (int i = 0; i < size; ++i) pixels[i] = static_cast<std::uint8_t>(i);
    const Bytes before = pixels;

    reverseRows(pixels.data(), c.width, c.height);
    const int stride = c.width * 3;
    for (int row = 0; row < c.height; ++row) {
      for (int b = 0; b < stride; ++b) {
        ASSERT_EQ(pixels[row * stride + b], before[(c.height - 1 - row) * stride + b])
            << c.width << "x" << c.height << " row " << row;
      }
    }
    swapRedBlue(pixels.data(), c.width, c.height);
    swapRedBlue(pixels.data(), c.width, c.height);
    reverseRows(pixels.data(), c.width, c.height);
    EXPECT_EQ(pixels, before) << c.width << "x" << c.height;

    swapRedBlue(pixels.data(), c.width, c.height);
    for (int p = 0; p < size; p += 3) {
      ASSERT_EQ(pixels[p], before[p + 2]);
      ASSERT_EQ(pixels[p + 1], before[p + 1]);
      ASSERT_EQ(pixels[p + 2], before[p]);
    }
    EXPECT_EQ(Bytes(pixels.end() - 3, pixels.end()), Bytes(3, 0xEE));
  }
  // Negative sizes leave the memory alone.
  Bytes untouched = {1, 2, 3, 4, 5, 6};
  reverseRows(untouched.data(), -1, 2);
  swapRedBlue(untouched.data(), 2, -1);
  EXPECT_EQ(untouched, (Bytes{1, 2, 3, 4, 5, 6}));
}

// Every kind of file the library accepts: the named decode gives what the library
// gives, grey as three equal bytes.
TEST_F(JpegDecoder, NamedDecodeMatchesTheLibraryForEveryKindOfPicture) {
  const JpegRecipe recipes[] = {
      {.width = 17, .height = 5},
      {.width = 16, .height = 6, .subsampled = true},  // the library's merged upsampling
      {.width = 33, .height = 17, .subsampled = true},
      {.width = 1, .height = 1},
      {.width = 9, .height = 40, .components = 1},
      {.width = 24, .height = 11, .progressive = true, .subsampled = true},
      {.width = 300, .height = 3, .components = 1, .progressive = true},
  };
  for (const JpegRecipe& recipe : recipes) {
    SCOPED_TRACE(testing::Message()
                 << recipe.width << "x" << recipe.height << " components " << recipe.components
                 << (recipe.progressive ? " progressive" : ""));
    const Bytes jpeg = test::encodeJpeg(
        recipe, test::patternPixels(recipe.width, recipe.height, recipe.components));
    auto named = decodeJpegFile(put("picture.jpg", jpeg));
    ASSERT_TRUE(named);
    ASSERT_EQ(named->buffer.width, recipe.width);
    ASSERT_EQ(named->buffer.height, recipe.height);
    const test::ReferencePicture reference = test::referenceDecode(jpeg);
    Bytes expected = reference.pixels;
    if (recipe.components == 1) {
      expected.clear();
      for (std::uint8_t grey : reference.pixels)
        expected.insert(expected.end(), {grey, grey, grey});
    }
    EXPECT_EQ(contents(named->buffer), expected);
  }
}

// At every DCT scale the reader gives the size libjpeg computes and the right colours in
// the order asked for, whatever the colour model of the file.
TEST_F(JpegDecoder, ReaderScalesEveryColourModel) {
  struct Case {
    const char* name;
    JpegRecipe recipe;
    Bytes stored;
    Bytes rgb;
  } cases[] = {
      {"colour", {.width = 83, .height = 45, .subsampled = true}, {200, 120, 40}, {200, 120, 40}},
      {"grey", {.width = 83, .height = 45, .components = 1}, {77}, {77, 77, 77}},
      {"inverted CMYK",
       {.width = 83, .height = 45, .components = 4},
       {255, 0, 255, 255},
       {255, 0, 255}},
      {"YCCK",
       {.width = 83, .height = 45, .components = 4, .ycck = true},
       {255, 255, 0, 255},
       {255, 255, 0}},
  };
  for (const Case& c : cases) {
    JpegRecipe recipe = c.recipe;
    recipe.quality = 100;
    const std::string path =
        put("flat.jpg",
            test::encodeJpeg(recipe, test::flatPixels(recipe.width, recipe.height, c.stored)));
    for (int eighths : {1, 3, 5, 8}) {
      for (bool bgr : {false, true}) {
        SCOPED_TRACE(testing::Message()
                     << c.name << " at " << eighths << "/8" << (bgr ? " BGR" : ""));
        JpegReader reader;
        ASSERT_TRUE(reader.open(path));
        EXPECT_EQ(reader.width(), 83);
        ASSERT_TRUE(reader.start(eighths, bgr));
        ASSERT_EQ(reader.outputWidth(), (83 * eighths + 7) / 8);
        ASSERT_EQ(reader.outputHeight(), (45 * eighths + 7) / 8);
        Bytes row(static_cast<std::size_t>(reader.outputWidth()) * 3);
        Bytes expected;
        for (int x = 0; x < reader.outputWidth(); ++x) {
          expected.insert(expected.end(), {c.rgb[bgr ? 2 : 0], c.rgb[1], c.rgb[bgr ? 0 : 2]});
        }
        while (reader.nextRow() < reader.outputHeight()) {
          std::uint8_t* rows[] = {row.data()};
          ASSERT_EQ(reader.read(rows, 1), 1);
          ASSERT_LE(distance(row, expected), 3) << "row " << reader.nextRow();
        }
        EXPECT_TRUE(reader.finish());
        EXPECT_EQ(reader.reason(), "");
      }
    }
  }
}

TEST_F(JpegDecoder, CmykFollowsTheAdobeMarkerForInversion) {
  // Files with Adobe's marker hold inverted ink (255 = none); files without hold plain ink.
  struct Case {
    const char* name;
    Bytes stored;
    bool adobe, ycck;
    Bytes rgb;
  } cases[] = {
      {"no ink, inverted", {255, 255, 255, 255}, true, false, {255, 255, 255}},
      {"full cyan, inverted", {0, 255, 255, 255}, true, false, {0, 255, 255}},
      {"full black, inverted", {255, 255, 255, 0}, true, false, {0, 0, 0}},
      {"magenta and yellow, YCCK", {255, 0, 0, 255}, true, true, {255, 0, 0}},
      {"no ink, plain", {0, 0, 0, 0}, false, false, {255, 255, 255}},
      {"full yellow, plain", {0, 0, 255, 0}, false, false, {255, 255, 0}},
      {"half black, plain", {0, 0, 0, 128}, false, false, {127, 127, 127}},
  };
  for (const Case& c : cases) {
    const JpegRecipe recipe{.width = 8,
                            .height = 8,
                            .components = 4,
                            .ycck = c.ycck,
                            .adobeMarker = c.adobe,
                            .quality = 100};
    const std::string path =
        put("cmyk.jpg", test::encodeJpeg(recipe, test::flatPixels(8, 8, c.stored)));
    auto decoded = decodeJpegFile(path);
    ASSERT_TRUE(decoded) << c.name;
    EXPECT_LE(distance(contents(decoded->buffer), test::flatPixels(8, 8, c.rgb)), 3) << c.name;
  }
}

// Unusable files: the decode fails, says why on the standard error stream, and (under
// the sanitizers) leaks nothing.
TEST_F(JpegDecoder, UnusableFilesFailWithTheirMessage) {
  const Bytes good = test::encodeJpeg({.width = 64, .height = 48}, test::patternPixels(64, 48, 3));
  const Bytes progressive = test::encodeJpeg({.width = 32, .height = 32, .progressive = true},
                                             test::patternPixels(32, 32, 3));
  const std::string page = "<html><body>502 Bad Gateway</body></html>\n";
  struct Case {
    const char* name;
    Bytes bytes;
    const char* message;
  } cases[] = {
      {"empty", {}, "Empty input file"},
      {"text page", Bytes(page.begin(), page.end()), "Not a JPEG file"},
      {"only the start marker", {0xFF, 0xD8}, "Premature end"},
      {"65500 x 65500 header", test::withFrameSize(good, 65500, 65500), "65500 x 65500"},
      {"buffer just over 512 MiB", test::withFrameSize(good, 13378, 13378), "too large"},
      {"two components",
       test::encodeJpeg({.width = 8, .height = 8, .components = 2}, Bytes(128, 7)),
       "2 colour components"},
      {"hundreds of scans", test::withRepeatedLastScan(progressive, 150),
       "more than 100 progressive scans"},
  };
  for (const Case& c : cases) {
    const std::string path = put("bad.jpg", c.bytes);
    testing::internal::CaptureStderr();
    auto decoded = decodeJpegFile(path);
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_FALSE(decoded) << c.name;
    EXPECT_NE(said.find(c.message), std::string::npos) << c.name << ": " << said;
  }
}

TEST_F(JpegDecoder, ScanLimitIsInclusive) {
  // The default progression of a colour picture has 10 scans: 90 repeats make 100.
  const Bytes progressive = test::encodeJpeg({.width = 16, .height = 16, .progressive = true},
                                             test::patternPixels(16, 16, 3));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(decodeJpegFile(put("a.jpg", test::withRepeatedLastScan(progressive, 90))));
  EXPECT_FALSE(decodeJpegFile(put("b.jpg", test::withRepeatedLastScan(progressive, 91))));
  testing::internal::GetCapturedStderr();
}

TEST_F(JpegDecoder, MissingFileSaysCantOpenAndNothingElse) {
  const std::string path = dir.file("not-there.jpg");
  testing::internal::CaptureStderr();
  EXPECT_FALSE(decodeJpegFile(path));
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "can't open " + path + "\n");
}

TEST_F(JpegDecoder, FileCutShortGivesFullBufferAndSaysSo) {
  const Bytes whole = test::encodeJpeg({.width = 40, .height = 64}, test::patternPixels(40, 64, 3));
  for (bool progressive : {false, true}) {
    const Bytes jpeg = progressive
                           ? test::encodeJpeg({.width = 40, .height = 64, .progressive = true},
                                              test::patternPixels(40, 64, 3))
                           : whole;
    const std::string path = put("cut.jpg", Bytes(jpeg.begin(), jpeg.begin() + jpeg.size() / 2));
    testing::internal::CaptureStderr();
    auto decoded = decodeJpegFile(path);
    const std::string said = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(decoded) << progressive;
    EXPECT_TRUE(decoded->endedEarly);
    EXPECT_EQ(decoded->buffer.width, 40);
    EXPECT_EQ(decoded->buffer.height, 64);
    EXPECT_NE(said.find("Premature end of JPEG file"), std::string::npos) << said;
  }
  // A complete file, even one with junk after its end, is not "cut short".
  Bytes trailing = whole;
  trailing.insert(trailing.end(), 100, 0x55);
  auto decoded = decodeJpegFile(put("whole.jpg", trailing));
  ASSERT_TRUE(decoded);
  EXPECT_FALSE(decoded->endedEarly);
}

TEST_F(JpegDecoder, LimitsAreTheCallers) {
  const std::string path =
      put("p.jpg", test::encodeJpeg({.width = 100, .height = 10}, test::patternPixels(100, 10, 3)));
  testing::internal::CaptureStderr();
  EXPECT_TRUE(decodeJpegFile(path, {.maxPixelBytes = 3000}));
  EXPECT_FALSE(decodeJpegFile(path, {.maxPixelBytes = 2999}));
  testing::internal::GetCapturedStderr();
}

}  // namespace
}  // namespace tessaren
