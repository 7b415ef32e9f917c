// The owner of a device information set (setupapi). Windows only.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <setupapi.h>

#include "platform/handles.h"

namespace tessaren {

struct DestroyDeviceInfoList {
  void operator()(HDEVINFO set) const { SetupDiDestroyDeviceInfoList(set); }
};
// Empty, never INVALID_HANDLE_VALUE: a failed SetupDiCreateDeviceInfoList is not kept.
using OwnedDeviceSet = Owned<HDEVINFO, DestroyDeviceInfoList>;

}  // namespace tessaren
