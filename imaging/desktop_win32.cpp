// The Windows desktop behind DesktopApi.
#include <windows.h>
// After windows.h, which they need.
#include <setupapi.h>
#include <shellscalingapi.h>
#include <versionhelpers.h>

#include <cstdint>
#include <vector>

#include "imaging/desktop_api.h"
#include "imaging/monitor_identity.h"
#include "platform/device_handles.h"
#include "platform/registry_handles.h"
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

// The EDID the monitor's driver keeps in its device key (the "EDID" value beside the
// device's Device Parameters, as SetupDiOpenDevRegKey opens it), found from the device
// interface name; empty where there is none.
std::vector<std::uint8_t> edidOf(const std::string& interfaceName) {
  if (interfaceName.empty()) return {};
  HDEVINFO created = SetupDiCreateDeviceInfoList(nullptr, nullptr);
  if (created == INVALID_HANDLE_VALUE) return {};
  const OwnedDeviceSet set(created);
  SP_DEVICE_INTERFACE_DATA interfaceData{};
  interfaceData.cbSize = sizeof interfaceData;
  if (!SetupDiOpenDeviceInterfaceW(set.get(), wideText(interfaceName).c_str(), 0, &interfaceData))
    return {};
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  DWORD size = 0;
  SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, nullptr, 0, &size, nullptr);
  if (size < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) return {};
  std::vector<std::uint8_t> detailBytes(size);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(detailBytes.data());
  detail->cbSize = sizeof *detail;
  if (!SetupDiGetDeviceInterfaceDetailW(set.get(), &interfaceData, detail, size, nullptr, &device))
    return {};
  HKEY opened = SetupDiOpenDevRegKey(set.get(), &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (opened == INVALID_HANDLE_VALUE) return {};
  const OwnedKey key(opened);
  // The base block is 128 bytes and extensions add 128 each; 32 KiB is far beyond any.
  std::vector<std::uint8_t> edid(32768);
  DWORD type = 0, length = static_cast<DWORD>(edid.size());
  if (RegQueryValueExW(key.get(), L"EDID", nullptr, &type, edid.data(), &length) != ERROR_SUCCESS ||
      type != REG_BINARY)
    return {};
  edid.resize(length);
  return edid;
}

BOOL CALLBACK addMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto& found = *reinterpret_cast<Found*>(data);
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  const RECT& r = info.rcMonitor;
  const std::string device = deviceInterfaceName(info.szDevice);
  found.monitors.push_back({{r.left, r.top, r.right, r.bottom},
                            (info.dwFlags & MONITORINFOF_PRIMARY) != 0,
                            device,
                            edidIdentity(edidOf(device))});
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
  keepUniqueIdentities(found.monitors);
  return found;
}

class Win32Desktop final : public DesktopApi {
 public:
  bool setWallpaper(const std::string& bmpPath) override {
    // The call takes a non-const pointer but does not write through it.
    return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(bmpPath.c_str()),
                                 SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != FALSE;
  }
  std::string wallpaper() override {
    wchar_t path[MAX_PATH + 1] = {};
    if (!SystemParametersInfoW(SPI_GETDESKWALLPAPER, MAX_PATH, path, 0)) return "";
    return utf8Text(path);
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
