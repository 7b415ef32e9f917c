// Appending to the log on Windows. The file is opened for appending only
// (FILE_APPEND_DATA), so each line is one write at the end whatever another copy does,
// and the rotation happens under a mutex of the user's own, across all of the user's
// sessions, so that two copies never both rotate.
#include <windows.h>

#include <atomic>
#include <ctime>

#include "platform/kernel_handles.h"
#include "platform/object_names.h"
#include "platform/user_mutex.h"
#include "update/outcome.h"
#include "update/update_log.h"

namespace tessaren {
namespace {

// Long enough for a rotation on a slow disk; a log line is never worth more.
constexpr DWORD kRotationWaitMs = 2000;

}  // namespace

bool appendLogLine(const std::string& path, const std::string& line, std::uint64_t rotateBytes) {
  static std::atomic<bool> fallbackLogged{false};
  std::string text;
  {
    const UserMutex rotation = openUserMutex(kLogMutex);
    // The log says once that copies in other sessions may rotate it at the same time.
    if (!rotation.fallback.empty() && !fallbackLogged.exchange(true))
      text = logLineOf(std::time(nullptr), "note", "", rotation.fallback) + "\r\n";
    const DWORD waited =
        rotation.handle ? WaitForSingleObject(rotation.handle.get(), kRotationWaitMs) : WAIT_FAILED;
    const bool held = waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED;
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (held && GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) &&
        (std::uint64_t{data.nFileSizeHigh} << 32 | data.nFileSizeLow) >= rotateBytes)
      MoveFileExA(path.c_str(), oldLogPath(path).c_str(), MOVEFILE_REPLACE_EXISTING);
    if (held) ReleaseMutex(rotation.handle.get());
  }
  const OwnedHandle file = ownedFileHandle(CreateFileA(
      path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  // CR LF: every editor on Windows shows one line per update.
  text += line + "\r\n";
  DWORD written = 0;
  return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
         written == text.size();
}

}  // namespace tessaren
