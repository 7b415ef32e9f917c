// Conformance with pictures nobody here wrote, from TESSAREN_TESTDATA_DIR: libpng's copy
// of PngSuite and its own test pictures (every colour type, depth, interlacing, tRNS,
// gamma and sRGB variants, and the broken files that once crashed a reader), and the
// sample pictures of libwebp's and giflib's sources. Each picture converted at full size must
// equal, pixel for pixel, what ImageMagick (PNG, GIF: the last frame, coalesced) or dwebp
// (WebP) make of it laid over black the same way; each broken one must be refused with a
// reason and leave no file. A summary of the counts is printed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>

#include "imaging/conversion.h"
#include "tests/imaging/decoding.h"

namespace tessaren {
namespace {

namespace fs = std::filesystem;
using test::Bytes;

int run(const std::string& command) {
  const int status = std::system((command + " >/dev/null 2>&1").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string quoted(const std::string& path) { return "'" + path + "'"; }

std::vector<fs::path> picturesIn(const std::string& folder, const std::string& extension) {
  std::vector<fs::path> found;
  const fs::path dir = fs::path(TESSAREN_TESTDATA_DIR) / folder;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(dir, error)) {
    if (entry.path().extension() == extension) found.push_back(entry.path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

// The reference's pixels as blue, green, red, or nothing when it could not make them.
using Reference = std::function<std::optional<Bytes>(const fs::path& picture, int width, int height,
                                                     const fs::path& scratch)>;

// The PNG without the chunks that describe its colours (gAMA, cHRM, sRGB, iCCP), which
// the program ignores on purpose: ImageMagick converts a picture with gamma 1.0 from
// linear light to sRGB, and so on. Without them it reads the stored samples, as the
// program does.
Bytes withoutColourChunks(const Bytes& png) {
  Bytes kept(png.begin(), png.begin() + 8);
  for (std::size_t at = 8; at + 12 <= png.size();) {
    const std::size_t length = std::size_t(png[at]) << 24 | std::size_t(png[at + 1]) << 16 |
                               std::size_t(png[at + 2]) << 8 | png[at + 3];
    const std::string type(png.begin() + std::ptrdiff_t(at + 4),
                           png.begin() + std::ptrdiff_t(at + 8));
    const std::size_t end = std::min(png.size(), at + 12 + length);
    if (type != "gAMA" && type != "cHRM" && type != "sRGB" && type != "iCCP") {
      kept.insert(kept.end(), png.begin() + std::ptrdiff_t(at), png.begin() + std::ptrdiff_t(end));
    }
    at = end;
  }
  return kept;
}

// ImageMagick's own reading, laid over black at 16 bits a channel; for an animation
// every frame composed (-coalesce) and the last one taken. The samples are narrowed to 8
// bits here, rounding to the nearest as PNG's rules and the program do: ImageMagick's
// own -depth 8 drops the fraction (16-bit 2304 becomes 8, not 9).
std::optional<Bytes> imageMagick(const fs::path& original, int width, int height,
                                 const fs::path& scratch) {
  fs::path picture = original;
  if (original.extension() == ".png") {
    picture = scratch / "plain.png";
    test::writeFile(picture, withoutColourChunks(test::readFile(original)));
  }
  const fs::path out = scratch / "magick.rgb";
  if (run("/usr/bin/convert-im6.q16 " + quoted(picture) +
          " -coalesce -background black -alpha remove -alpha off -depth 16 -endian MSB " +
          quoted("rgb:" + out.string())) != 0) {
    return std::nullopt;
  }
  const Bytes all = test::readFile(out);
  const std::size_t frame = std::size_t(width) * height * 6;
  if (all.size() < frame || all.size() % frame != 0) return std::nullopt;
  Bytes rgb;
  for (std::size_t i = all.size() - frame; i < all.size(); i += 2) {
    rgb.push_back(std::uint8_t(((all[i] << 8 | all[i + 1]) * 255 + 32767) / 65535));
  }
  return test::asBgr(rgb, 3);
}

// dwebp's RGBA, laid over black here exactly as the program lays its pixels.
std::optional<Bytes> dwebp(const fs::path& picture, int width, int height,
                           const fs::path& scratch) {
  const fs::path out = scratch / "dwebp.pam";
  if (run("dwebp " + quoted(picture) + " -pam -o " + quoted(out)) != 0) return std::nullopt;
  const Bytes pam = test::readFile(out);
  const std::size_t pixels = std::size_t(width) * height * 4;
  if (pam.size() < pixels) return std::nullopt;
  return test::asBgr(Bytes(pam.end() - std::ptrdiff_t(pixels), pam.end()), 4);
}

struct Tally {
  int files = 0, identical = 0, refused = 0;
  std::map<std::string, std::string> refusals;  // file: reason
};

// Converts every picture of the folder and compares it with the reference. Files of a
// folder of broken ones must be refused, or else be read exactly as the reference reads
// them (a damaged ancillary chunk is skipped by both).
Tally checkFolder(const std::string& folder, const std::string& extension,
                  const Reference& reference, bool broken = false) {
  Tally tally;
  test::TempDir dir;
  for (const fs::path& picture : picturesIn(folder, extension)) {
    SCOPED_TRACE(picture.filename().string());
    ++tally.files;
    const std::string bmp = dir.file("out.bmp");
    const ConversionResult result = convertToBitmap(picture.string(), bmp);
    if (result.failure) {
      ++tally.refused;
      tally.refusals[picture.filename().string()] = result.failure->detail;
      EXPECT_TRUE(broken) << result.failure->detail;
      EXPECT_FALSE(fs::exists(bmp));
      EXPECT_NE(result.failure->kind, FailureKind::CannotWrite);
      continue;
    }
    const std::optional<Bytes> expected =
        reference(picture, result.width, result.height, dir.path());
    if (!expected) {
      ADD_FAILURE() << "the reference tool could not read it";
      continue;
    }
    const test::Bitmap ours = test::readBitmap(bmp);
    if (ours.bgr == *expected) {
      ++tally.identical;
    } else {
      std::size_t differing = 0;
      for (std::size_t i = 0; i < expected->size() && i < ours.bgr.size(); ++i) {
        differing += ours.bgr[i] != (*expected)[i];
      }
      ADD_FAILURE() << differing << " of " << expected->size() << " bytes differ";
    }
  }
  std::printf("%s: %d files, %d identical, %d refused\n", folder.c_str(), tally.files,
              tally.identical, tally.refused);
  for (const auto& [file, reason] : tally.refusals) {
    std::printf("  refused %s: %s\n", file.c_str(), reason.c_str());
  }
  return tally;
}

bool haveTestData(const std::string& folder) {
  return std::string(TESSAREN_TESTDATA_DIR).size() > 0 &&
         fs::is_directory(fs::path(TESSAREN_TESTDATA_DIR) / folder);
}

TEST(Conformance, PngSuiteAndLibpngsPicturesMatchImageMagick) {
  if (!haveTestData("pngsuite") || !haveTestData("pngtests")) {
    GTEST_SKIP() << "no PngSuite in TESSAREN_TESTDATA_DIR";
  }
  int files = 0;
  for (const char* folder : {"pngsuite", "pngsuite/interlaced", "pngtests"}) {
    files += checkFolder(folder, ".png", imageMagick).files;
  }
  EXPECT_GT(files, 150);
  EXPECT_GT(checkFolder("pngtests/crashers", ".png", imageMagick, true).refused, 10);
}

TEST(Conformance, GiflibSamplesMatchImageMagicksLastFrame) {
  if (!haveTestData("gif")) GTEST_SKIP() << "no GIF samples in TESSAREN_TESTDATA_DIR";
  const Tally tally = checkFolder("gif", ".gif", imageMagick);
  EXPECT_GT(tally.files, 0);
}

TEST(Conformance, LibwebpSamplesMatchDwebp) {
  if (!haveTestData("webp")) GTEST_SKIP() << "no WebP samples in TESSAREN_TESTDATA_DIR";
  if (run("dwebp -version") != 0) GTEST_SKIP() << "dwebp is not installed";
  const Tally tally = checkFolder("webp", ".webp", dwebp);
  EXPECT_GT(tally.files, 0);
}

}  // namespace
}  // namespace tessaren
