// The wallpaper step: the style values each display mode writes, spanned and tiled, and a
// desktop that refuses the picture.
#include "imaging/wallpaper.h"

#include <gtest/gtest.h>

#include "settings/settings_table.h"
#include "tests/support/memory_store.h"
#include "tests/support/update_doubles.h"

namespace tessaren {
namespace {

TEST(Wallpaper, EachDisplayModeWritesItsValuesThenSetsThePicture) {
  struct Case {
    DisplayMode mode;
    bool spanned;
    const char* style;  // "x": left as it was
    const char* tile;
  } const cases[] = {
      {DisplayMode::Stretch, true, "2", "0"},  {DisplayMode::Center, true, "0", "0"},
      {DisplayMode::Tile, true, "0", "1"},     {DisplayMode::DesktopSettings, true, "x", "x"},
      {DisplayMode::Fit, true, "22", "0"},     {DisplayMode::Fill, true, "22", "0"},
      {DisplayMode::Span, true, "22", "0"},    {DisplayMode::Fit, false, "0", "1"},
      {DisplayMode::Fill, false, "0", "1"},    {DisplayMode::Span, false, "0", "1"},
      {DisplayMode::Stretch, false, "2", "0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(displayModeInfo(c.mode).name) + (c.spanned ? " spanned" : " tiled"));
    test::MemoryStore store;
    writeValue(store, ValueId::WallpaperStyle, "x");
    writeValue(store, ValueId::TileWallpaper, "x");
    test::FakeDesktop desktop;
    EXPECT_FALSE(applyWallpaper(store, desktop, "C:\\T\\tessaren.bmp", c.mode, c.spanned));
    EXPECT_EQ(readValue(store, ValueId::WallpaperStyle), StoredValue(c.style));
    EXPECT_EQ(readValue(store, ValueId::TileWallpaper), StoredValue(c.tile));
    ASSERT_EQ(desktop.wallpapers.size(), 1u);
    EXPECT_EQ(desktop.wallpapers[0].first, "C:\\T\\tessaren.bmp");
  }
  test::MemoryStore store;
  test::FakeDesktop refusing;
  refusing.takesWallpapers = false;
  const auto refused =
      applyWallpaper(store, refusing, "C:\\T\\tessaren.bmp", DisplayMode::Center, true);
  ASSERT_TRUE(refused);
  EXPECT_EQ(refused->kind, FailureKind::DesktopRefused);
  EXPECT_EQ(refused->detail, "the desktop did not take C:\\T\\tessaren.bmp as its wallpaper");
}

}  // namespace
}  // namespace tessaren
