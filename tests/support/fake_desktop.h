// A desktop that records wallpaper calls instead of making them. File replacement is
// real (rename), so tests see the files that the code under test leaves behind.
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

  std::vector<std::string> wallpapers;  // every setWallpaper path, in order
  bool wallpaperResult = true;          // what setWallpaper answers
  bool replaceResult = true;            // false: replaceFile fails without moving anything
  // When set, calls are also appended here as "wallpaper PATH" and "replace FROM TO",
  // for instance to FakeRegistry::log to check the order against registry writes.
  std::vector<std::string>* log = nullptr;
  // Runs inside setWallpaper, e.g. to look at the file at the moment of the call.
  std::function<void(const std::string&)> onWallpaper;
};

}  // namespace tessaren::test
