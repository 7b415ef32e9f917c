// The owner of an open registry key (advapi32). Windows only.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace tessaren {

struct CloseRegistryKey {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using OwnedKey = Owned<HKEY, CloseRegistryKey>;

}  // namespace tessaren
