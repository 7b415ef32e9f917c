// The native build has no desktop: files are replaced as on any POSIX system, and no
// wallpaper can be set.
#include <cstdio>

#include "imaging/desktop_api.h"

namespace tessaren {
namespace {

class NoDesktop final : public DesktopApi {
 public:
  bool setWallpaper(const std::string&) override { return false; }
  bool replaceFile(const std::string& from, const std::string& to) override {
    return std::rename(from.c_str(), to.c_str()) == 0;
  }
};

}  // namespace

DesktopApi& platformDesktopApi() {
  static NoDesktop none;
  return none;
}

}  // namespace tessaren
