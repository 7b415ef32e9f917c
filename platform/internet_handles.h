// The owner of a WinINet handle: a session, a connection or a request. Windows only.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <wininet.h>

#include "platform/handles.h"

namespace tessaren {

struct CloseInternetHandle {
  void operator()(HINTERNET handle) const { InternetCloseHandle(handle); }
};
using OwnedInternet = Owned<HINTERNET, CloseInternetHandle>;

}  // namespace tessaren
