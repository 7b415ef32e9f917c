// The Win32 desktop behind DesktopApi: each call is the Win32 function named in the
// interface, with the arguments the portable code chose.
#include <windows.h>
// After windows.h, which it needs.
#include <versionhelpers.h>

#include "imaging/desktop_api.h"

namespace tessaren {
namespace {

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM list) {
  MONITORINFO info{};
  info.cbSize = sizeof info;
  if (GetMonitorInfoW(monitor, &info)) {
    const RECT& r = info.rcMonitor;
    reinterpret_cast<std::vector<Monitor>*>(list)->push_back(
        {{r.left, r.top, r.right, r.bottom}, (info.dwFlags & MONITORINFOF_PRIMARY) != 0});
  }
  return TRUE;
}

class Win32Desktop final : public DesktopApi {
 public:
  bool setWallpaper(const std::string& bmpPath) override {
    // The call takes a non-const pointer but does not write through it.
    return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(bmpPath.c_str()),
                                 SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != FALSE;
  }
  bool replaceFile(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  }
  // The process is per-monitor DPI aware (its manifest says so): these are real pixels.
  std::vector<Monitor> monitors() override {
    std::vector<Monitor> list;
    EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&list));
    return list;
  }
  std::optional<std::uint64_t> freeBytes(const std::string& directory) override {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExA(directory.empty() ? nullptr : directory.c_str(), &available, nullptr,
                             nullptr)) {
      return std::nullopt;
    }
    return available.QuadPart;
  }
  // The manifest declares Windows 10, so the version check is told the truth.
  bool spanSupported() override { return IsWindows8OrGreater(); }
};

}  // namespace

DesktopApi& platformDesktopApi() {
  static Win32Desktop desktop;
  return desktop;
}

}  // namespace tessaren
