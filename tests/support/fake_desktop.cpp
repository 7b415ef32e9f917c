// Recording desktop double.
#include "tests/support/fake_desktop.h"

#include <cstdio>

namespace tessaren::test {

FakeDesktop::FakeDesktop() { setDesktopApi(this); }
FakeDesktop::~FakeDesktop() { setDesktopApi(nullptr); }

bool FakeDesktop::setWallpaper(const std::string& bmpPath) {
  wallpapers.push_back(bmpPath);
  if (log) log->push_back("wallpaper " + bmpPath);
  if (onWallpaper) onWallpaper(bmpPath);
  return wallpaperResult;
}

bool FakeDesktop::replaceFile(const std::string& from, const std::string& to) {
  if (log) log->push_back("replace " + from + " " + to);
  if (!replaceResult) return false;
  return std::rename(from.c_str(), to.c_str()) == 0;
}

}  // namespace tessaren::test
