// GetModuleFileNameW in a buffer that grows until the whole path fits: it cuts a longer
// path short without failing.
#include <windows.h>

#include "platform/own_path.h"
#include "platform/wide_text.h"

namespace tessaren {

std::string ownExecutablePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return utf8Text(path);
    }
    path.resize(path.size() * 2);
  }
}

}  // namespace tessaren
