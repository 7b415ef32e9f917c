// The Win32 desktop side under Wine: the style values really land in
// HKEY_CURRENT_USER\Control Panel\Desktop, read back here with the plain registry calls,
// and SystemParametersInfoA records the wallpaper only after a good update.
#include <gtest/gtest.h>
#include <windows.h>

#include "imaging/wallpaper.h"
#include "tests/imaging/jpeg_fixtures.h"

namespace tessaren {
namespace {

using test::Bytes;
const char* const kDesktopKey = "Control Panel\\Desktop";

// The stored bytes of a value, or nothing when it is missing.
std::optional<Bytes> stored(const char* name, DWORD* typeOut = nullptr) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
    return std::nullopt;
  }
  BYTE data[1024];
  DWORD size = sizeof data, type = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, data, &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return std::nullopt;
  if (typeOut) *typeOut = type;
  return Bytes(data, data + size);
}

void seed(const char* name, const std::string& text) {
  HKEY key = nullptr;
  ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kDesktopKey, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_SUCCESS);
  RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                 static_cast<DWORD>(text.size() + 1));
  RegCloseKey(key);
}

Bytes text(const std::string& value) {
  Bytes data(value.begin(), value.end());
  data.push_back(0);
  return data;
}

TEST(DesktopUnderWine, StyleValuesAreTwoByteTextsPerDisplayMode) {
  struct Case {
    std::int32_t mode;
    const char* style;  // what each value holds afterwards; "x" is the seeded value
    const char* tile;
  } cases[] = {{0, "2", "0"}, {1, "0", "0"},  {2, "x", "1"},
               {3, "x", "x"}, {-1, "x", "x"}, {7, "x", "x"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.mode);
    seed("WallpaperStyle", "x");
    seed("TileWallpaper", "x");
    writeDisplayModeStyle(c.mode);
    DWORD type = 0;
    EXPECT_EQ(stored("WallpaperStyle", &type), text(c.style));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(stored("TileWallpaper", &type), text(c.tile));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
  }
}

TEST(DesktopUnderWine, WallpaperNamesTheBitmapOnlyAfterAGoodUpdate) {
  test::TempDir dir;
  const std::string jpegPath = dir.file("tessaren.jpg");
  const std::string bmpPath = dir.file("tessaren.bmp");
  seed("Wallpaper", "C:\\earlier.bmp");

  const std::string page = "<html>Not Found</html>";
  test::writeFile(jpegPath, Bytes(page.begin(), page.end()));
  EXPECT_FALSE(convertAndApply(jpegPath, bmpPath, 0));
  EXPECT_EQ(stored("Wallpaper"), text("C:\\earlier.bmp"));
  EXPECT_FALSE(std::filesystem::exists(bmpPath));

  test::writeFile(jpegPath,
                  test::encodeJpeg({.width = 64, .height = 40}, test::patternPixels(64, 40, 3)));
  test::writeFile(bmpPath, {'o', 'l', 'd'});  // replaced, not appended to
  ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, 1));
  EXPECT_EQ(stored("Wallpaper"), text(bmpPath));
  EXPECT_EQ(std::filesystem::file_size(bmpPath), 54u + 64u * 3u * 40u);
  EXPECT_FALSE(std::filesystem::exists(partialBitmapPath(bmpPath)));
  EXPECT_EQ(stored("WallpaperStyle"), text("0"));

  // A cut-short download keeps the picture that is up.
  const Bytes whole = test::readFile(jpegPath);
  test::writeFile(jpegPath, Bytes(whole.begin(), whole.begin() + whole.size() / 2));
  seed("Wallpaper", "C:\\earlier.bmp");
  EXPECT_FALSE(convertAndApply(jpegPath, bmpPath, 1));
  EXPECT_EQ(stored("Wallpaper"), text("C:\\earlier.bmp"));
  EXPECT_EQ(std::filesystem::file_size(bmpPath), 54u + 64u * 3u * 40u);
}

}  // namespace
}  // namespace tessaren
