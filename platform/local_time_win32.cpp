// The local clock on Windows: the zone set in Windows, as the taskbar clock shows it.
// Not the C runtime's localtime, which follows a TZ variable when one is set (under Wine
// the Unix one, such as "Europe/Berlin", which it misreads as a zone an hour off).
#include <windows.h>

#include "platform/local_time.h"

namespace tessaren {
namespace {

// FILETIME counts 100 ns steps from 1601.
constexpr ULONGLONG kTicksPerSecond = 10'000'000;
constexpr ULONGLONG kSecondsFrom1601To1970 = 11'644'473'600;

ULONGLONG ticksOf(const FILETIME& time) {
  return (static_cast<ULONGLONG>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

}  // namespace

long systemUtcOffsetAt(std::time_t instant) {
  if (instant < 0) return 0;
  const ULONGLONG utcTicks =
      (static_cast<ULONGLONG>(instant) + kSecondsFrom1601To1970) * kTicksPerSecond;
  const FILETIME utcFile{static_cast<DWORD>(utcTicks), static_cast<DWORD>(utcTicks >> 32)};
  SYSTEMTIME utc;
  SYSTEMTIME local;
  FILETIME localFile;
  if (!FileTimeToSystemTime(&utcFile, &utc) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local) ||
      !SystemTimeToFileTime(&local, &localFile))
    return 0;
  return static_cast<long>(
      (static_cast<LONGLONG>(ticksOf(localFile)) - static_cast<LONGLONG>(utcTicks)) /
      static_cast<LONGLONG>(kTicksPerSecond));
}

}  // namespace tessaren
