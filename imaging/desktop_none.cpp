// The native build has no desktop: files are replaced and free space measured as on any
// POSIX system, there are no monitors, and no wallpaper can be set.
#include <sys/statvfs.h>

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
  std::vector<Monitor> monitors() override { return {}; }
  std::optional<std::uint64_t> freeBytes(const std::string& directory) override {
    struct statvfs volume;
    if (statvfs(directory.empty() ? "." : directory.c_str(), &volume) != 0) return std::nullopt;
    return std::uint64_t{volume.f_bavail} * volume.f_frsize;
  }
  bool spanSupported() override { return true; }
};

}  // namespace

DesktopApi& platformDesktopApi() {
  static NoDesktop none;
  return none;
}

}  // namespace tessaren
