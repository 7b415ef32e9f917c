// The command-line converter as a program: every format in, the exit status per outcome,
// and the options that draw for monitors.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>

#include "tests/support/test_pictures.h"

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
  const Bytes pixels = test::patternPixels(50, 30, 3);
  const Bytes good = test::encodeJpeg({.width = 50, .height = 30}, pixels);
  const Bytes png = test::encodePng({.width = 50, .height = 30}, pixels);
  test::writeFile(dir.file("good.jpg"), good);
  test::writeFile(dir.file("cut.jpg"), Bytes(good.begin(), good.begin() + good.size() / 2));
  test::writeFile(dir.file("picture.jpg"), png);  // the name says nothing
  test::writeFile(dir.file("cut.png"), Bytes(png.begin(), png.begin() + png.size() / 2));
  test::writeFile(dir.file("good.webp"), test::encodeWebP({.width = 50, .height = 30}, pixels));
  test::writeFile(dir.file("good.gif"),
                  test::encodeGif(50, 30, {1, 2, 3}, {{0, 0, 50, 30, Bytes(1500, 0)}}));
  test::writeFile(dir.file("text.jpg"), Bytes(40, 'x'));
  const std::uintmax_t full = 54 + 152 * 30;
  struct Case {
    const char* in;
    const char* out;
    int status;
    std::uintmax_t size;  // 0: no file
  } cases[] = {
      {"good.jpg", "good.bmp", 0, full},       {"cut.jpg", "cut.bmp", 2, full},
      {"picture.jpg", "png.bmp", 0, full},     {"cut.png", "cut-png.bmp", 2, full},
      {"good.webp", "webp.bmp", 0, full},      {"good.gif", "gif.bmp", 0, full},
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

TEST(Converter, MonitorOptionsSetTheBitmapsSize) {
  test::TempDir dir;
  test::writeFile(dir.file("in.jpg"),
                  test::encodeJpeg({.width = 80, .height = 60}, test::patternPixels(80, 60, 3)));
  const std::string in = " '" + dir.file("in.jpg") + "' '" + dir.file("out.bmp") + "'";
  struct Case {
    const char* options;
    int status;
    int width, height;  // of the BMP, when written
  } cases[] = {
      {"", 0, 80, 60},
      {"--fit 40x50", 0, 40, 50},
      {"--fill 300x20", 0, 300, 20},
      {"--monitors '0,0,64,48;-100,-10,0,50' --mode span", 0, 164, 60},
      {"--monitors '0,0,64,48;-100,-10,0,50' --mode fit --tiled", 0, 164, 60},
      {"--fit 0x50", 1, 0, 0},
      {"--fit 40", 1, 0, 0},
      {"--mode fill", 1, 0, 0},                     // no monitors
      {"--monitors '0,0,64,48'", 1, 0, 0},          // no mode
      {"--monitors '0,0,64' --mode fit", 1, 0, 0},  // three numbers
      {"--monitors '0,0,64,48;' --mode fit", 1, 0, 0},
      {"--fit 40x50 --mode zoom", 1, 0, 0},
      {"--tiled", 1, 0, 0},
      {"--scale 2", 1, 0, 0},
  };
  for (const Case& c : cases) {
    std::filesystem::remove(dir.file("out.bmp"));
    EXPECT_EQ(exitStatus(std::string(TESSAREN_CONVERT) + " " + c.options + in), c.status)
        << c.options;
    if (c.status != 0) {
      EXPECT_FALSE(std::filesystem::exists(dir.file("out.bmp"))) << c.options;
      continue;
    }
    const Bytes bmp = test::readFile(dir.file("out.bmp"));
    ASSERT_GE(bmp.size(), 26u) << c.options;
    EXPECT_EQ(bmp[18] | bmp[19] << 8, c.width) << c.options;
    EXPECT_EQ(bmp[22] | bmp[23] << 8, c.height) << c.options;
  }
}

}  // namespace
}  // namespace tessaren
