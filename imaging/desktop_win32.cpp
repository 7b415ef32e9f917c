// The Windows desktop behind DesktopApi.
#include <windows.h>
// After windows.h, which they need.
#include <shellscalingapi.h>
#include <versionhelpers.h>

#include "imaging/desktop_api.h"
#include "platform/wide_text.h"

namespace tessaren {
namespace {

struct Found {
  std::vector<Monitor> monitors;
  std::string layout;
};

// The device interface name of the (first) monitor on the display adapter output, which
// stays the same across restarts and changes of order; empty when the system gives none.
std::string deviceInterfaceName(const wchar_t* adapterDevice) {
  DISPLAY_DEVICEW device{};
  device.cb = sizeof device;
  if (!EnumDisplayDevicesW(adapterDevice, 0, &device, EDD_GET_DEVICE_INTERFACE_NAME)) return "";
  const std::wstring name(device.DeviceID, wcsnlen(device.DeviceID, std::size(device.DeviceID)));
  return utf8Text(name);
}

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto& found = *reinterpret_cast<Found*>(data);
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  const RECT& r = info.rcMonitor;
  found.monitors.push_back({{r.left, r.top, r.right, r.bottom},
                            (info.dwFlags & MONITORINFOF_PRIMARY) != 0,
                            deviceInterfaceName(info.szDevice)});
  UINT dpiX = 96, dpiY = 96;
  if (FAILED(GetDpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpiX, &dpiY))) dpiX = 96;
  if (!found.layout.empty()) found.layout += ';';
  found.layout += std::to_string(r.left) + "," + std::to_string(r.top) + "," +
                  std::to_string(r.right) + "," + std::to_string(r.bottom) + "@" +
                  std::to_string(dpiX);
  return TRUE;
}

Found findMonitors() {
  Found found;
  EnumDisplayMonitors(nullptr, nullptr, addMonitor, reinterpret_cast<LPARAM>(&found));
  return found;
}

class Win32Desktop final : public DesktopApi {
 public:
  bool setWallpaper(const std::string& bmpPath) override {
    // The call takes a non-const pointer but does not write through it.
    return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(bmpPath.c_str()),
                                 SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != FALSE;
  }
  // The process is per-monitor DPI aware (its manifest says so): these are real pixels.
  std::vector<Monitor> monitors() override { return findMonitors().monitors; }
  std::string monitorLayout() override { return findMonitors().layout; }
  // The manifest declares Windows 10, so the version check is told the truth.
  bool spanSupported() override { return IsWindows8OrGreater(); }
};

}  // namespace

DesktopApi& platformDesktop() {
  static Win32Desktop desktop;
  return desktop;
}

}  // namespace tessaren
