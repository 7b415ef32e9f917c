// The wallpaper step against the registry and desktop doubles: what each display mode
// writes and in which order, and that a failed update changes nothing at all.
#include "imaging/wallpaper.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "imaging/conversion.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/fake_registry.h"
#include "tests/support/test_pictures.h"

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
  // What the conversion alone makes of jpegPath.
  Bytes expectedBitmap() {
    EXPECT_FALSE(convertToBitmap(jpegPath, dir.file("expected.bmp")).failure);
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
  const std::vector<std::string> both = {open, "set WallpaperStyle 1 2", "close",
                                         open, "set TileWallpaper 1 2",  "close"};
  const std::vector<std::string> spanned = {open, "set WallpaperStyle 1 3", "close",
                                            open, "set TileWallpaper 1 2",  "close"};
  const std::vector<std::string> asked = {"monitors", "span"};
  struct Case {
    std::int32_t mode;
    bool span;
    std::vector<std::string> queries;  // before the conversion
    std::vector<std::string> writes;
    const char* style;  // nullptr: never written
    const char* tile;
    int bitmapWidth;
  } cases[] = {
      {0, true, {}, both, "2", "0", 30},          {1, true, {}, both, "0", "0", 30},
      {2, true, {}, both, "0", "1", 30},          {3, true, {}, {}, nullptr, nullptr, 30},
      {-1, true, {}, {}, nullptr, nullptr, 30},   {7, true, {}, {}, nullptr, nullptr, 30},
      {4, true, asked, spanned, "22", "0", 1920}, {5, true, asked, spanned, "22", "0", 1920},
      {6, true, asked, spanned, "22", "0", 1920}, {4, false, asked, both, "0", "1", 1920},
      {5, false, asked, both, "0", "1", 1920},    {6, false, asked, both, "0", "1", 1920},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "mode " << c.mode << (c.span ? " spanned" : " tiled"));
    registry.log.clear();
    registry.erase(kUser, kDesktop, "WallpaperStyle");
    registry.erase(kUser, kDesktop, "TileWallpaper");
    desktop.span = c.span;

    const ApplyResult result = convertAndApply(jpegPath, bmpPath, c.mode);
    ASSERT_TRUE(result.applied) << result.reason;
    EXPECT_EQ(result.reason, "");
    EXPECT_EQ(result.width, 30);
    EXPECT_EQ(result.height, 20);
    std::vector<std::string> expected = c.queries;
    expected.push_back("free " + dir.path().string() + "/");
    expected.push_back("replace " + partialBitmapPath(bmpPath) + " " + bmpPath);
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
    const Bytes bitmap = test::readFile(bmpPath);
    ASSERT_GE(bitmap.size(), 26u);
    EXPECT_EQ(bitmap[18] | bitmap[19] << 8, c.bitmapWidth);
  }
}

// Tile used to write only TileWallpaper, so an earlier Stretch kept the desktop stretching.
TEST_F(Wallpaper, TileReplacesTheStyleOfAnEarlierStretch) {
  ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, 0).applied);
  ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, 2).applied);
  EXPECT_EQ(registry.value(kUser, kDesktop, "WallpaperStyle").data, text("0"));
  EXPECT_EQ(registry.value(kUser, kDesktop, "TileWallpaper").data, text("1"));
  EXPECT_EQ(registry.value(kUser, kDesktop, "TileWallpaper").type, kRegSz);
}

// Two monitors, the second left of the primary: the BMP covers both, at their pixels.
TEST_F(Wallpaper, DrawnModesWriteABitmapOfTheMonitorsBoundingBox) {
  desktop.monitorList = {{{0, 0, 1920, 1080}, true}, {{-1280, 0, 0, 1024}, false}};
  for (std::int32_t mode : {4, 5, 6}) {
    ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, mode).applied) << mode;
    EXPECT_EQ(std::filesystem::file_size(bmpPath), 54u + 3200u * 3u * 1080u) << mode;
  }
}

TEST_F(Wallpaper, GoodUpdateLeavesTheCompleteBitmapInPlaceBeforeTheCall) {
  test::writeFile(bmpPath, {'o', 'l', 'd'});
  const Bytes expected = expectedBitmap();
  Bytes seenAtCall;
  desktop.onWallpaper = [&](const std::string& path) { seenAtCall = test::readFile(path); };

  ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, 1).applied);
  EXPECT_EQ(desktop.wallpapers, std::vector<std::string>{bmpPath});
  EXPECT_EQ(seenAtCall, expected);
  EXPECT_EQ(test::readFile(bmpPath), expected);
  EXPECT_FALSE(std::filesystem::exists(partialBitmapPath(bmpPath)));
}

// Whatever goes wrong, the previous BMP file, the desktop values and the wallpaper stay
// as they were, no partial file is left, and the caller hears why.
TEST_F(Wallpaper, FailedUpdateChangesNothing) {
  const Bytes whole = test::readFile(jpegPath);
  const std::string page = "<html>Service Unavailable</html>";
  const std::atomic<bool> stop{true};
  struct Case {
    const char* name;
    Bytes jpeg;  // empty: no file at all
    std::string reason;
    std::int32_t mode = 0;
    bool blockPartialFile = false;
    bool replaceFails = false;
    std::uint64_t freeSpace = 1ull << 40;
    const std::atomic<bool>* stop = nullptr;
    std::vector<Monitor> monitors = {{{0, 0, 640, 480}, true}};
  } cases[] = {
      {"missing JPEG", {}, "can't read " + jpegPath + ": No such file or directory"},
      {"HTML page", Bytes(page.begin(), page.end()),
       "not a picture Tessaren can read (starts with `<html>Service`)"},
      {"JPEG cut short", Bytes(whole.begin(), whole.begin() + whole.size() * 2 / 3),
       "JPEG cut short"},
      {"BMP cannot be written", whole, "can't write " + bmpPath + ": Is a directory", 0, true},
      {"BMP cannot be replaced", whole, "can't replace " + bmpPath, 0, false, true},
      {"disk nearly full", whole,
       "not enough free space on " + dir.path().string() + "/ for a 1 MB picture", 6, false, false,
       64ull << 20},
      {"cancelled", whole, "cancelled", 0, false, false, 1ull << 40, &stop},
      {"cancelled while fitting", whole, "cancelled", 4, false, false, 1ull << 40, &stop},
      {"no monitors to fill",
       whole,
       "no monitor to draw the picture on",
       5,
       false,
       false,
       1ull << 40,
       nullptr,
       {}},
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
    desktop.freeSpace = c.freeSpace;
    desktop.monitorList = c.monitors;
    if (c.blockPartialFile) std::filesystem::create_directory(partialBitmapPath(bmpPath));

    const ApplyResult result = convertAndApply(jpegPath, bmpPath, c.mode, c.stop);
    EXPECT_FALSE(result.applied);
    EXPECT_EQ(result.reason, c.reason);

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
  const ApplyResult result = convertAndApply(jpegPath, bmpPath, 3);
  EXPECT_FALSE(result.applied);
  EXPECT_EQ(result.reason, "the desktop did not take " + bmpPath + " as its wallpaper");
  EXPECT_EQ(desktop.wallpapers, std::vector<std::string>{bmpPath});
}

}  // namespace
}  // namespace tessaren
