// The wallpaper step against the registry and desktop doubles: what each display mode
// writes and in which order, and that a failed update changes nothing at all.
#include "imaging/wallpaper.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/bitmap_writer.h"
#include "imaging/jpeg_decoder.h"
#include "tests/imaging/jpeg_fixtures.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/fake_registry.h"

namespace tessaren {
namespace {

using test::Bytes;
constexpr auto kUser = RegistryRoot::CurrentUser;
const std::string kDesktop = "Control Panel\\Desktop";

Bytes text(const std::string& value) {
  Bytes data(value.begin(), value.end());
  data.push_back(0);
  return data;
}

class Wallpaper : public ::testing::Test {
 protected:
  Wallpaper() {
    desktop.log = &registry.log;
    test::writeFile(jpegPath, test::encodeJpeg({.width = 30, .height = 20, .subsampled = true},
                                               test::patternPixels(30, 20, 3)));
  }
  // What the three named steps and the writer make of jpegPath.
  Bytes expectedBitmap() {
    auto decoded = decodeJpegFile(jpegPath);
    EXPECT_TRUE(decoded);
    PixelBuffer& b = decoded->buffer;
    reverseRows(b.pixels.get(), b.width, b.height);
    swapRedBlue(b.pixels.get(), b.width, b.height);
    BitmapWriter writer;
    writer.write(dir.file("expected.bmp"), b.pixels.get(), b.width, b.height);
    return test::readFile(dir.file("expected.bmp"));
  }

  test::TempDir dir;
  test::FakeRegistry registry;
  test::FakeDesktop desktop;
  const std::string jpegPath = dir.file("tessaren.jpg");
  const std::string bmpPath = dir.file("tessaren.bmp");
};

TEST_F(Wallpaper, EachDisplayModeWritesItsValuesBeforeTheWallpaperCall) {
  const std::string open = "create HKCU\\" + kDesktop + " 0xF003F";
  const std::vector<std::string> stretchOrCenter = {open, "set WallpaperStyle 1 2", "close",
                                                    open, "set TileWallpaper 1 2",  "close"};
  struct Case {
    std::int32_t mode;
    std::vector<std::string> writes;
    const char* style;  // nullptr: never written
    const char* tile;
  } cases[] = {
      {0, stretchOrCenter, "2", "0"},
      {1, stretchOrCenter, "0", "0"},
      {2, {open, "set TileWallpaper 1 2", "close"}, nullptr, "1"},
      {3, {}, nullptr, nullptr},
      {-1, {}, nullptr, nullptr},
      {7, {}, nullptr, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    registry.log.clear();
    registry.erase(kUser, kDesktop, "WallpaperStyle");
    registry.erase(kUser, kDesktop, "TileWallpaper");

    ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, c.mode));
    std::vector<std::string> expected = {"replace " + partialBitmapPath(bmpPath) + " " + bmpPath};
    expected.insert(expected.end(), c.writes.begin(), c.writes.end());
    expected.push_back("wallpaper " + bmpPath);
    EXPECT_EQ(registry.log, expected);
    EXPECT_EQ(registry.openKeys(), 0);
    EXPECT_EQ(registry.has(kUser, kDesktop, "WallpaperStyle"), c.style != nullptr);
    if (c.style) {
      EXPECT_EQ(registry.value(kUser, kDesktop, "WallpaperStyle").data, text(c.style));
    }
    EXPECT_EQ(registry.has(kUser, kDesktop, "TileWallpaper"), c.tile != nullptr);
    if (c.tile) {
      EXPECT_EQ(registry.value(kUser, kDesktop, "TileWallpaper").data, text(c.tile));
    }
  }
}

TEST_F(Wallpaper, TileKeepsTheStyleOfAnEarlierStretch) {
  ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, 0));
  ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, 2));
  EXPECT_EQ(registry.value(kUser, kDesktop, "WallpaperStyle").data, text("2"));
  EXPECT_EQ(registry.value(kUser, kDesktop, "TileWallpaper").data, text("1"));
  EXPECT_EQ(registry.value(kUser, kDesktop, "TileWallpaper").type, kRegSz);
}

TEST_F(Wallpaper, GoodUpdateLeavesTheCompleteBitmapInPlaceBeforeTheCall) {
  test::writeFile(bmpPath, {'o', 'l', 'd'});
  const Bytes expected = expectedBitmap();
  Bytes seenAtCall;
  desktop.onWallpaper = [&](const std::string& path) { seenAtCall = test::readFile(path); };

  ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, 1));
  EXPECT_EQ(desktop.wallpapers, std::vector<std::string>{bmpPath});
  EXPECT_EQ(seenAtCall, expected);
  EXPECT_EQ(test::readFile(bmpPath), expected);
  EXPECT_FALSE(std::filesystem::exists(partialBitmapPath(bmpPath)));
}

// Whatever goes wrong, the previous BMP file, the desktop values and the wallpaper stay
// as they were, no partial file is left, and the caller hears of it.
TEST_F(Wallpaper, FailedUpdateChangesNothing) {
  const Bytes whole = test::readFile(jpegPath);
  const std::string page = "<html>Service Unavailable</html>";
  struct Case {
    const char* name;
    Bytes jpeg;  // empty: no file at all
    bool blockPartialFile = false;
    bool replaceFails = false;
  } cases[] = {
      {"missing JPEG", {}},
      {"HTML page", Bytes(page.begin(), page.end())},
      {"JPEG cut short", Bytes(whole.begin(), whole.begin() + whole.size() * 2 / 3)},
      {"BMP cannot be written", whole, true},
      {"BMP cannot be replaced", whole, false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::filesystem::remove(jpegPath);
    if (!c.jpeg.empty()) test::writeFile(jpegPath, c.jpeg);
    test::writeFile(bmpPath, {'o', 'l', 'd'});
    registry.putText(kUser, kDesktop, "WallpaperStyle", "0");
    registry.log.clear();
    desktop.wallpapers.clear();
    desktop.replaceResult = !c.replaceFails;
    if (c.blockPartialFile) std::filesystem::create_directory(partialBitmapPath(bmpPath));

    testing::internal::CaptureStderr();
    EXPECT_FALSE(convertAndApply(jpegPath, bmpPath, 0));
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());

    EXPECT_EQ(test::readFile(bmpPath), (Bytes{'o', 'l', 'd'}));
    EXPECT_TRUE(desktop.wallpapers.empty());
    for (const std::string& call : registry.log)
      EXPECT_EQ(call.rfind("set ", 0), std::string::npos);
    EXPECT_EQ(registry.value(kUser, kDesktop, "WallpaperStyle").data, text("0"));
    EXPECT_FALSE(registry.has(kUser, kDesktop, "TileWallpaper"));
    if (c.blockPartialFile) {
      std::filesystem::remove(partialBitmapPath(bmpPath));
    } else {
      EXPECT_FALSE(std::filesystem::exists(partialBitmapPath(bmpPath)));
    }
  }
}

TEST_F(Wallpaper, RefusedWallpaperCallIsAFailedUpdate) {
  desktop.wallpaperResult = false;
  EXPECT_FALSE(convertAndApply(jpegPath, bmpPath, 3));
  EXPECT_EQ(desktop.wallpapers, std::vector<std::string>{bmpPath});
}

}  // namespace
}  // namespace tessaren
