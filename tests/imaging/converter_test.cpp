// The command-line converter as a program: exit status per outcome, and its BMP files
// byte for byte against libjpeg-turbo's own djpeg -bmp where that is installed.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/imaging/jpeg_fixtures.h"

namespace tessaren {
namespace {

using test::Bytes;

int exitStatus(const std::string& command) {
  const int status = std::system((command + " 2>/dev/null").c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string convert(const std::string& in, const std::string& out) {
  return std::string(TESSAREN_CONVERT) + " '" + in + "' '" + out + "'";
}

TEST(Converter, ExitStatusTellsWhetherACompleteBitmapWasWritten) {
  test::TempDir dir;
  const Bytes good = test::encodeJpeg({.width = 50, .height = 30}, test::patternPixels(50, 30, 3));
  test::writeFile(dir.file("good.jpg"), good);
  test::writeFile(dir.file("cut.jpg"), Bytes(good.begin(), good.begin() + good.size() / 2));
  test::writeFile(dir.file("text.jpg"), Bytes(40, 'x'));
  const std::uintmax_t full = 54 + 152 * 30;
  struct Case {
    const char* in;
    const char* out;
    int status;
    std::uintmax_t size;  // 0: no file
  } cases[] = {
      {"good.jpg", "good.bmp", 0, full},       {"cut.jpg", "cut.bmp", 2, full},
      {"text.jpg", "text.bmp", 1, 0},          {"missing.jpg", "missing.bmp", 1, 0},
      {"good.jpg", "no/such/dir/x.bmp", 1, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(exitStatus(convert(dir.file(c.in), dir.file(c.out))), c.status) << c.in;
    const std::string out = dir.file(c.out);
    EXPECT_EQ(std::filesystem::exists(out) ? std::filesystem::file_size(out) : 0, c.size) << c.in;
  }
  EXPECT_EQ(exitStatus(std::string(TESSAREN_CONVERT) + " only-one-argument"), 1);
}

TEST(Converter, BitmapsMatchDjpeg) {
  if (exitStatus("djpeg -version") != 0) GTEST_SKIP() << "djpeg is not installed";
  test::TempDir dir;
  const test::JpegRecipe recipes[] = {{.width = 37, .height = 21, .subsampled = true},
                                      {.width = 64, .height = 9, .progressive = true},
                                      {.width = 13, .height = 13, .components = 1}};
  for (const test::JpegRecipe& r : recipes) {
    test::writeFile(dir.file("in.jpg"),
                    test::encodeJpeg(r, test::patternPixels(r.width, r.height, r.components)));
    ASSERT_EQ(exitStatus(convert(dir.file("in.jpg"), dir.file("ours.bmp"))), 0);
    // djpeg writes greyscale as an 8-bit paletted BMP; ask it for colour output.
    const std::string grey = r.components == 1 ? " -rgb" : "";
    ASSERT_EQ(exitStatus("djpeg -bmp" + grey + " -outfile '" + dir.file("djpeg.bmp") + "' '" +
                         dir.file("in.jpg") + "'"),
              0);
    EXPECT_EQ(test::readFile(dir.file("ours.bmp")), test::readFile(dir.file("djpeg.bmp")))
        << r.width << "x" << r.height;
  }
}

}  // namespace
}  // namespace tessaren
