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

std::vector<Monitor> FakeDesktop::monitors() {
  if (log) log->push_back("monitors");
  return monitorList;
}

std::optional<std::uint64_t> FakeDesktop::freeBytes(const std::string& directory) {
  if (log) log->push_back("free " + directory);
  return freeSpace;
}

bool FakeDesktop::spanSupported() {
  if (log) log->push_back("span");
  return span;
}

}  // namespace tessaren::test
