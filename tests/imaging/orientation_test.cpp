// EXIF orientation: the tag read from a TIFF block whatever the block holds, and every
// orientation of JPEG, PNG and WebP drawn upright in every mode, compared pixel by pixel
// with the same file turned upright by Pillow's ImageOps.exif_transpose and drawn the
// same way; and the memory bound of a quarter turn at full size.
#include "imaging/orientation.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <iomanip>
#include <iostream>
#include <sstream>

#include "imaging/conversion.h"
#include "tests/imaging/decoding.h"

namespace tessaren {
namespace {

using test::Bytes;

TEST(ExifOrientation, TheTagCountsOnlyWhenWholeAndValid) {
  for (const bool bigEndian : {false, true}) {
    for (int value = 1; value <= 8; ++value) {
      const Bytes block = test::exifWithOrientation(value, bigEndian);
      EXPECT_EQ(Orientation(value), exifOrientation(block)) << value << " " << bigEndian;
      Bytes named = {'E', 'x', 'i', 'f', 0, 0};
      named.insert(named.end(), block.begin(), block.end());
      EXPECT_EQ(Orientation(value), exifOrientation(named)) << value << " " << bigEndian;
    }
  }

  // Cut anywhere: as stored until the tag's value is in (it ends 32 bytes in).
  const Bytes whole = test::exifWithOrientation(6, true);
  for (std::size_t size = 0; size < whole.size(); ++size) {
    EXPECT_EQ(size >= 32 ? Orientation::TurnedClockwise : Orientation::AsStored,
              exifOrientation({whole.data(), size}))
        << size;
  }

  // Little-endian: the directory at 8, its second entry (Orientation) at 22.
  auto patched = [](std::size_t at, Bytes bytes) {
    Bytes block = test::exifWithOrientation(3);
    std::copy(bytes.begin(), bytes.end(), block.begin() + std::ptrdiff_t(at));
    return block;
  };
  const struct {
    const char* what;
    Bytes block;
  } unread[] = {
      {"value 0", test::exifWithOrientation(0)},
      {"value 9", test::exifWithOrientation(9)},
      {"value 0x0103 (3 in the wrong byte order)", patched(30, {0, 3})},
      {"LONG instead of SHORT", patched(24, {4, 0})},
      {"two values", patched(26, {2, 0, 0, 0})},
      {"no byte order", patched(0, {'I', 'M'})},
      {"not TIFF's 42", patched(2, {43, 0})},
      {"directory past the end", patched(4, {0xFF, 0xFF, 0xFF, 0xFF})},
      {"directory at the last byte", patched(4, {41, 0, 0, 0})},
      {"the tag missing: one entry only", patched(8, {1, 0})},
      {"nothing", {}},
  };
  for (const auto& [what, block] : unread) {
    EXPECT_EQ(Orientation::AsStored, exifOrientation(block)) << what;
  }
}

std::string pythonWithPillow() {
  for (const char* python : {"python3", "/usr/bin/python3"}) {
    if (std::system((std::string(python) + " -c 'import PIL.ImageOps' 2>/dev/null").c_str()) == 0) {
      return python;
    }
  }
  return "";
}

struct Difference {
  int max = 0;
  double mean = 0;
};

Difference differenceOf(const test::Bitmap& a, const test::Bitmap& b) {
  Difference difference;
  double sum = 0;
  for (std::size_t i = 0; i < a.bgr.size(); ++i) {
    const int d = std::abs(int(a.bgr[i]) - int(b.bgr[i]));
    difference.max = std::max(difference.max, d);
    sum += d;
  }
  difference.mean = a.bgr.empty() ? 0 : sum / double(a.bgr.size());
  return difference;
}

// The tagged file and Pillow's upright PNG of it, each converted by Tessaren in the same
// mode: the orientation is all that differs. At full size the PNG's pixels are Pillow's
// own; drawn for monitors, both go through the same averaging and resampling, and must
// agree exactly, except where the tagged file's decoder shrinks it itself (JPEG's DCT
// scaling, libwebp's rescaler) and the PNG is decoded whole: orientation 1 shows that
// happening (its difference is not 0), and the others are then held to a tolerance.
TEST(Orientation, EveryOrientationInEveryModeIsPillowsUprightPicture) {
  const std::string python = pythonWithPillow();
  if (python.empty()) GTEST_SKIP() << "Python with Pillow (python3-pil) is not installed";
  test::TempDir dir;
  constexpr int kWidth = 61, kHeight = 37;  // odd sides: a wrong turn can't hide in symmetry
  const Bytes rgb = test::patternPixels(kWidth, kHeight, 3);
  const struct {
    const char* name;
    Bytes picture;
    Difference shrunkTolerance;
  } formats[] = {
      {"jpg", test::encodeJpeg({.width = kWidth, .height = kHeight}, rgb), {32, 10}},
      {"png", test::encodePng({.width = kWidth, .height = kHeight}, rgb), {0, 0}},
      {"webp",
       test::encodeWebP({.width = kWidth, .height = kHeight, .lossless = true}, rgb),
       {20, 1.5}},
  };
  std::string command = python + " " + TESSAREN_SOURCE_DIR "/tests/imaging/upright.py";
  auto tagged = [&](const std::string& format, int orientation) {
    return dir.file(format + "-" + std::to_string(orientation) + "." + format);
  };
  auto upright = [&](const std::string& format, int orientation) {
    return dir.file(format + "-" + std::to_string(orientation) + "-upright.png");
  };
  for (const auto& format : formats) {
    for (int orientation = 1; orientation <= 8; ++orientation) {
      // Both byte orders, in turn.
      test::writeFile(
          tagged(format.name, orientation),
          test::withExif(format.picture, test::exifWithOrientation(orientation, orientation % 2)));
      command += " " + tagged(format.name, orientation) + " " + upright(format.name, orientation);
    }
  }
  ASSERT_EQ(0, std::system(command.c_str())) << command;

  const struct {
    const char* name;
    std::optional<DisplayMode> mode;
    std::vector<Monitor> monitors;
  } modes[] = {
      {"full size", std::nullopt, {}},
      {"Center", DisplayMode::Center, {{{0, 0, 200, 150}, true}}},
      {"Fit, enlarged", DisplayMode::Fit, {{{0, 0, 160, 120}, true}}},
      {"Fill", DisplayMode::Fill, {{{0, 0, 30, 30}, true}}},
      {"Span", DisplayMode::Span, {{{0, 0, 64, 48}, true}, {{64, 0, 100, 48}, false}}},
      {"Fit, shrunk", DisplayMode::Fit, {{{0, 0, 9, 7}, true}}},
  };
  std::ostringstream figures;
  figures << std::fixed << std::setprecision(2);
  for (const auto& format : formats) {
    for (const auto& mode : modes) {
      figures << format.name << ", " << mode.name << ":";
      test::Bitmap asStored;
      bool shrunkByTheDecoder = false;
      for (int orientation = 1; orientation <= 8; ++orientation) {
        SCOPED_TRACE(testing::Message()
                     << format.name << " " << mode.name << " orientation " << orientation);
        ConversionRequest request;
        request.drawn = mode.mode;
        request.monitors = mode.monitors;
        const std::string ours = dir.file("ours.bmp"), theirs = dir.file("theirs.bmp");
        const ConversionResult result =
            convertToBitmap(tagged(format.name, orientation), ours, request);
        ASSERT_FALSE(result.failure) << result.failure->detail;
        const bool sideways = orientation >= 5;
        EXPECT_EQ(result.width, sideways ? kHeight : kWidth);
        EXPECT_EQ(result.height, sideways ? kWidth : kHeight);
        const ConversionResult reference =
            convertToBitmap(upright(format.name, orientation), theirs, request);
        ASSERT_FALSE(reference.failure) << reference.failure->detail;
        const test::Bitmap mine = test::readBitmap(ours), pillows = test::readBitmap(theirs);
        ASSERT_EQ(mine.width, pillows.width);
        ASSERT_EQ(mine.height, pillows.height);
        ASSERT_FALSE(mine.bgr.empty());
        const Difference difference = differenceOf(mine, pillows);
        if (orientation == 1) shrunkByTheDecoder = difference.max > 0;
        const Difference tolerance = shrunkByTheDecoder ? format.shrunkTolerance : Difference{};
        EXPECT_LE(difference.max, tolerance.max);
        EXPECT_LE(difference.mean, tolerance.mean);
        figures << " " << orientation << ": " << difference.max << "/" << difference.mean;
        // Pillow must have turned it too: a turned picture is never the stored one.
        if (orientation == 1) {
          asStored = mine;
        } else if (mine.width == asStored.width && mine.height == asStored.height) {
          EXPECT_GT(differenceOf(mine, asStored).mean, 10);
        }
      }
      figures << "\n";
    }
  }
  // The figures, max/mean difference per orientation, for the record.
  std::cout << figures.str();
}

// A quarter turn at full size holds the picture whole, within the limit for pictures held
// whole; mirrored or upside down it still streams, and Fit needs only the monitors' size.
TEST(Orientation, AQuarterTurnAtFullSizeIsHeldWithinTheLimit) {
  test::TempDir dir;
  const Bytes png = test::encodePng({.width = 40, .height = 30}, test::patternPixels(40, 30, 3));
  ConversionRequest request;
  request.limits.maxPixelBytes = 40 * 30 * 3 - 1;
  const std::string bmp = dir.file("out.bmp");
  for (int orientation = 1; orientation <= 8; ++orientation) {
    SCOPED_TRACE(orientation);
    const std::string path = dir.file("in.png");
    test::writeFile(path, test::withExif(png, test::exifWithOrientation(orientation)));
    request.drawn.reset();
    const ConversionResult full = convertToBitmap(path, bmp, request);
    if (orientation >= 5) {
      ASSERT_TRUE(full.failure);
      EXPECT_EQ(full.failure->kind, FailureKind::TooLarge);
      EXPECT_TRUE(full.failure->detail.starts_with("30 x 40 turned upright needs "))
          << full.failure->detail;
      EXPECT_TRUE(full.failure->detail.ends_with("; choose Fit or Fill")) << full.failure->detail;
    } else {
      EXPECT_FALSE(full.failure) << full.failure->detail;
    }
    request.drawn = DisplayMode::Fit;
    request.monitors = {{{0, 0, 20, 20}, true}};
    const ConversionResult fitted = convertToBitmap(path, bmp, request);
    EXPECT_FALSE(fitted.failure) << fitted.failure->detail;
  }
}

}  // namespace
}  // namespace tessaren
