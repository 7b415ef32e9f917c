// A desktop that records wallpaper calls instead of making them, with monitors, free
// space and Windows version as a test sets them. File replacement is real (rename), so
// tests see the files that the code under test leaves behind.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "imaging/desktop_api.h"

namespace tessaren::test {

class FakeDesktop final : public DesktopApi {
 public:
  // Installs itself as the desktop in use for its lifetime.
  FakeDesktop();
  ~FakeDesktop() override;

  bool setWallpaper(const std::string& bmpPath) override;
  bool replaceFile(const std::string& from, const std::string& to) override;
  std::vector<Monitor> monitors() override;
  std::optional<std::uint64_t> freeBytes(const std::string& directory) override;
  bool spanSupported() override;

  std::vector<std::string> wallpapers;  // every setWallpaper path, in order
  bool wallpaperResult = true;          // what setWallpaper answers
  bool replaceResult = true;            // false: replaceFile fails without moving anything
  std::vector<Monitor> monitorList = {{{0, 0, 1920, 1080}, true}};  // what monitors answers
  std::optional<std::uint64_t> freeSpace = 1ull << 40;              // what freeBytes answers
  bool span = true;                                                 // what spanSupported answers
  // When set, calls are also appended here as "wallpaper PATH", "replace FROM TO",
  // "monitors", "free DIRECTORY" and "span", for instance to FakeRegistry::log to check
  // the order against registry writes.
  std::vector<std::string>* log = nullptr;
  // Runs inside setWallpaper, e.g. to look at the file at the moment of the call.
  std::function<void(const std::string&)> onWallpaper;
};

}  // namespace tessaren::test
