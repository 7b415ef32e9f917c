// The platform's own desktop and files under Wine: the style values really land in
// HKEY_CURRENT_USER\Control Panel\Desktop, SystemParametersInfoA names the wallpaper, the
// monitors come from the system, and a new file is marked for deletion until it is closed
// whole.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>
#include <fstream>

#include "imaging/bitmap_file.h"
#include "imaging/desktop_api.h"
#include "imaging/wallpaper.h"
#include "platform/files.h"
#include "settings/settings_table.h"

namespace tessaren {
namespace {

namespace fs = std::filesystem;

std::optional<StoredValue> stored(ValueId id) { return readValue(registryStore(), id); }

std::string tempFolder() {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder =
      std::string(temp) + "tessaren-desktop-" + std::to_string(GetCurrentProcessId()) + "\\";
  CreateDirectoryA(folder.c_str(), nullptr);
  return folder;
}

TEST(DesktopUnderWine, StyleValuesAndTheWallpaperCall) {
  const std::string folder = tempFolder();
  const std::string bmpPath = folder + "tessaren.bmp";
  BitmapFile bitmap;
  ASSERT_TRUE(bitmap.create(bmpPath, 4, 2));
  ASSERT_TRUE(bitmap.close());
  // Wine's prefixes here say Windows 7 unless told otherwise: drawn modes then tile.
  const bool spanned = platformDesktop().spanSupported();
  for (const DisplayModeInfo& mode : kDisplayModes) {
    SCOPED_TRACE(mode.name);
    writeValue(registryStore(), ValueId::WallpaperStyle, "x");
    writeValue(registryStore(), ValueId::TileWallpaper, "x");
    writeValue(registryStore(), ValueId::Wallpaper, "C:\\earlier.bmp");
    EXPECT_FALSE(applyWallpaper(registryStore(), platformDesktop(), bmpPath, mode.mode, spanned));
    const WallpaperStyleValues expected = wallpaperStyleValues(mode.mode, spanned);
    EXPECT_EQ(
        stored(ValueId::WallpaperStyle),
        StoredValue(expected.wallpaperStyle.empty() ? "x" : std::string(expected.wallpaperStyle)));
    EXPECT_EQ(
        stored(ValueId::TileWallpaper),
        StoredValue(expected.tileWallpaper.empty() ? "x" : std::string(expected.tileWallpaper)));
    EXPECT_EQ(stored(ValueId::Wallpaper), StoredValue(bmpPath));
  }
  fs::remove_all(folder);
}

TEST(DesktopUnderWine, MonitorsAndTheirLayoutComeFromTheSystem) {
  const std::vector<Monitor> monitors = platformDesktop().monitors();
  ASSERT_FALSE(monitors.empty());
  int primaries = 0;
  for (const Monitor& m : monitors) {
    if (!m.primary) continue;
    ++primaries;
    EXPECT_EQ(m.bounds, (Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)}));
  }
  EXPECT_EQ(primaries, 1);
  const std::string layout = platformDesktop().monitorLayout();
  EXPECT_EQ(layout.rfind("0,0," + std::to_string(GetSystemMetrics(SM_CXSCREEN)) + "," +
                             std::to_string(GetSystemMetrics(SM_CYSCREEN)) + "@",
                         0),
            0u)
      << layout;
}

TEST(FilesUnderWine, NewFilesGoUnlessClosedWholeAndMoved) {
  Files& files = platformFiles();
  const std::string folder = tempFolder();
  Failure why;
  {
    auto dropped = files.create(folder + "tessaren-1.jpg.part", why);
    ASSERT_TRUE(dropped) << why.detail;
    ASSERT_TRUE(dropped->write("half", 4));
  }
  EXPECT_FALSE(files.exists(folder + "tessaren-1.jpg.part")) << "gone with its handle";
  {
    auto kept = files.create(folder + "tessaren-2.jpg.part", why);
    ASSERT_TRUE(kept);
    ASSERT_TRUE(kept->write("whole", 5));
    ASSERT_TRUE(kept->close());
    EXPECT_EQ(files.list(folder, "tessaren-", ".part"),
              std::vector<std::string>{"tessaren-2.jpg.part"});
    std::ofstream(folder + "tessaren.jpg") << "older";
    ASSERT_TRUE(kept->moveOver(folder + "tessaren.jpg"));
  }
  {
    std::ifstream in(folder + "tessaren.jpg");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "whole");
  }
  EXPECT_TRUE(files.list(folder, "tessaren-", ".part").empty());
  EXPECT_TRUE(files.list(folder + "*\\", "", "").empty()) << "no wildcard in a folder";

  const std::optional<std::uint64_t> free = files.freeBytes(folder);
  ASSERT_TRUE(free);
  EXPECT_GT(*free, 0u);
  EXPECT_FALSE(files.freeBytes(folder + "not-there\\"));
  const auto blocked = files.makeFolder(folder + "tessaren.jpg\\below\\");
  ASSERT_TRUE(blocked);
  EXPECT_EQ(blocked->kind, FailureKind::CannotWrite);
  EXPECT_FALSE(files.makeFolder(folder + "a\\b\\c\\"));
  fs::remove_all(folder);
}

}  // namespace
}  // namespace tessaren
