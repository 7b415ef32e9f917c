// The Win32 desktop side under Wine: the style values really land in
// HKEY_CURRENT_USER\Control Panel\Desktop, read back here with the plain registry calls,
// SystemParametersInfoA records the wallpaper only after a good update, and the monitors,
// free space and version come from the system's own calls.
#include <gtest/gtest.h>
#include <windows.h>

#include "imaging/conversion.h"
#include "imaging/desktop_api.h"
#include "imaging/wallpaper.h"
#include "tests/support/test_pictures.h"

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

// The version the system reports to ntdll's own caller, which no manifest changes.
bool windows8OrLater() {
  using GetVersion = LONG(WINAPI*)(OSVERSIONINFOW*);
  auto get = reinterpret_cast<GetVersion>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("ntdll.dll"), "RtlGetVersion")));
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof version;
  if (get == nullptr || get(&version) != 0) return false;
  return version.dwMajorVersion > 6 || (version.dwMajorVersion == 6 && version.dwMinorVersion >= 2);
}

TEST(DesktopUnderWine, StyleValuesAreTwoByteTextsPerDisplayMode) {
  // Wine's prefixes here say Windows 7 unless told otherwise: Fit, Fill and Span then
  // tile from the primary monitor.
  const bool span = desktopApi().spanSupported();
  EXPECT_EQ(span, windows8OrLater());
  const char* drawnStyle = span ? "22" : "0";
  const char* drawnTile = span ? "0" : "1";
  struct Case {
    std::int32_t mode;
    const char* style;  // what each value holds afterwards; "x" is the seeded value
    const char* tile;
  } cases[] = {{0, "2", "0"},
               {1, "0", "0"},
               {2, "0", "1"},
               {3, "x", "x"},
               {-1, "x", "x"},
               {7, "x", "x"},
               {4, drawnStyle, drawnTile},
               {5, drawnStyle, drawnTile},
               {6, drawnStyle, drawnTile}};
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
  EXPECT_EQ(convertAndApply(jpegPath, bmpPath, 0).reason,
            "not a picture Tessaren can read (starts with `<html>Not`)");
  EXPECT_EQ(stored("Wallpaper"), text("C:\\earlier.bmp"));
  EXPECT_FALSE(std::filesystem::exists(bmpPath));

  test::writeFile(jpegPath,
                  test::encodeJpeg({.width = 64, .height = 40}, test::patternPixels(64, 40, 3)));
  test::writeFile(bmpPath, {'o', 'l', 'd'});  // replaced, not appended to
  ASSERT_TRUE(convertAndApply(jpegPath, bmpPath, 1).applied);
  EXPECT_EQ(stored("Wallpaper"), text(bmpPath));
  EXPECT_EQ(std::filesystem::file_size(bmpPath), 54u + 64u * 3u * 40u);
  EXPECT_FALSE(std::filesystem::exists(partialBitmapPath(bmpPath)));
  EXPECT_EQ(stored("WallpaperStyle"), text("0"));

  // A cut-short download keeps the picture that is up.
  const Bytes whole = test::readFile(jpegPath);
  test::writeFile(jpegPath, Bytes(whole.begin(), whole.begin() + whole.size() / 2));
  seed("Wallpaper", "C:\\earlier.bmp");
  EXPECT_EQ(convertAndApply(jpegPath, bmpPath, 1).reason, "JPEG cut short");
  EXPECT_EQ(stored("Wallpaper"), text("C:\\earlier.bmp"));
  EXPECT_EQ(std::filesystem::file_size(bmpPath), 54u + 64u * 3u * 40u);
}

TEST(DesktopUnderWine, MonitorsFreeSpaceAndVersionComeFromTheSystem) {
  const std::vector<Monitor> monitors = desktopApi().monitors();
  ASSERT_FALSE(monitors.empty());
  int primaries = 0;
  for (const Monitor& m : monitors) {
    if (!m.primary) continue;
    ++primaries;
    EXPECT_EQ(m.bounds, (Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
  }
  EXPECT_EQ(primaries, 1);
  const Rect box = boundingBox(monitors);
  EXPECT_EQ(box,
            (Rect{GetSystemMetrics(SM_XVIRTUALSCREEN), GetSystemMetrics(SM_YVIRTUALSCREEN),
                  GetSystemMetrics(SM_XVIRTUALSCREEN) + GetSystemMetrics(SM_CXVIRTUALSCREEN),
                  GetSystemMetrics(SM_YVIRTUALSCREEN) + GetSystemMetrics(SM_CYVIRTUALSCREEN)}));

  test::TempDir dir;
  const std::optional<std::uint64_t> free = desktopApi().freeBytes(dir.path().string() + "\\");
  ASSERT_TRUE(free);
  EXPECT_GT(*free, 0u);
  EXPECT_FALSE(desktopApi().freeBytes(dir.file("not-there") + "\\"));
}

// Wine shows a BMP only tiled or centred, never scaled: a picture drawn at the screen's
// size is what shows it whole.
TEST(DesktopUnderWine, DrawnModesEndInABitmapTheSizeOfTheScreen) {
  test::TempDir dir;
  const std::string jpegPath = dir.file("tessaren.jpg");
  const std::string bmpPath = dir.file("tessaren.bmp");
  test::writeFile(jpegPath, test::encodeJpeg({.width = 1200, .height = 500},
                                             test::patternPixels(1200, 500, 3)));
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN);
  const int height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  for (std::int32_t mode : {kDisplayFit, kDisplayFill, kDisplaySpan}) {
    SCOPED_TRACE(mode);
    seed("Wallpaper", "C:\\earlier.bmp");
    const ApplyResult result = convertAndApply(jpegPath, bmpPath, mode);
    ASSERT_TRUE(result.applied) << result.reason;
    EXPECT_EQ(result.width, 1200);
    EXPECT_EQ(stored("Wallpaper"), text(bmpPath));
    const Bytes bitmap = test::readFile(bmpPath);
    ASSERT_GE(bitmap.size(), 54u);
    EXPECT_EQ(bitmap[18] | bitmap[19] << 8 | bitmap[20] << 16, width);
    EXPECT_EQ(bitmap[22] | bitmap[23] << 8 | bitmap[24] << 16, height);
    EXPECT_EQ(bitmap.size(), 54u + ((3u * width + 3u) & ~3u) * height);
  }
}

// Every format's decoder in the Windows build, with the libraries as cross-built for it:
// each picture converts to the BMP of its pixels.
TEST(DesktopUnderWine, EveryFormatConverts) {
  test::TempDir dir;
  const int width = 67, height = 45;
  const Bytes rgb = test::patternPixels(width, height, 3);
  const Bytes flat = test::flatPixels(width, height, {30, 140, 250});
  struct Case {
    const char* name;
    Bytes file;
    Bytes shown;  // red, green, blue; within 2 for JPEG
  } cases[] = {
      {"JPEG", test::encodeJpeg({.width = width, .height = height, .quality = 100}, flat), flat},
      {"PNG", test::encodePng({.width = width, .height = height, .interlaced = true}, rgb), rgb},
      {"WebP", test::encodeWebP({.width = width, .height = height, .lossless = true}, rgb), rgb},
      {"GIF",
       test::encodeGif(width, height, {30, 140, 250},
                       {{0, 0, width, height, Bytes(width * height, 0)}}),
       flat},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    test::writeFile(dir.file("in"), c.file);
    const ConversionResult result = convertToBitmap(dir.file("in"), dir.file("out.bmp"));
    ASSERT_FALSE(result.failure) << result.failure->detail;
    EXPECT_EQ(pictureFormatName(*result.format), c.name);
    const Bytes bitmap = test::readFile(dir.file("out.bmp"));
    const std::size_t stride = (3u * width + 3u) & ~3u;
    ASSERT_EQ(bitmap.size(), 54 + stride * height);
    int worst = 0;
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) {
        const std::uint8_t* in = &c.shown[(std::size_t(y) * width + x) * 3];
        const std::uint8_t* out = &bitmap[54 + std::size_t(height - 1 - y) * stride + x * 3];
        for (int k = 0; k < 3; ++k) worst = std::max(worst, std::abs(in[k] - out[2 - k]));
      }
    }
    EXPECT_LE(worst, c.name == std::string("JPEG") ? 2 : 0);
  }
}

}  // namespace
}  // namespace tessaren
