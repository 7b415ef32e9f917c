// Local calendar times from the platform's UTC offset, with no help from the C runtime's
// zone.
#include "platform/local_time.h"

#include <chrono>
#include <optional>

namespace tessaren {
namespace {

constexpr long long kDay = 86400;

long long floorDiv(long long value, long long divisor) {
  return value / divisor - (value % divisor < 0 ? 1 : 0);
}

// The instant at which the clock shows wall seconds (counted like UTC's from 1970): of
// two such instants (the hour repeated in autumn) the earlier; a wall time the clock
// skipped counts on from the jump, as mktime does (02:30 on a spring night is 03:30). The
// offsets in force a day before, at and a day after cover every zone that changes at
// most once in two days.
long long instantOfWall(long long wall, const UtcOffsetAt& offsetAt) {
  std::optional<long long> found;
  long long smallestOffset = 0;
  bool first = true;
  for (long long probe : {wall - kDay, wall, wall + kDay}) {
    const long long offset = offsetAt(static_cast<std::time_t>(probe));
    const long long instant = wall - offset;
    if (instant + offsetAt(static_cast<std::time_t>(instant)) == wall &&
        (!found || instant < *found))
      found = instant;
    if (first || offset < smallestOffset) smallestOffset = offset;
    first = false;
  }
  return found ? *found : wall - smallestOffset;
}

}  // namespace

std::tm localTime(std::time_t when, const UtcOffsetAt& offsetAt) {
  using namespace std::chrono;
  const long long wall = static_cast<long long>(when) + offsetAt(when);
  const long long dayNumber = floorDiv(wall, kDay);
  const long long second = wall - dayNumber * kDay;
  const sys_days day{days{dayNumber}};
  const year_month_day date{day};
  std::tm parts{};
  parts.tm_year = static_cast<int>(date.year()) - 1900;
  parts.tm_mon = static_cast<int>(static_cast<unsigned>(date.month())) - 1;
  parts.tm_mday = static_cast<int>(static_cast<unsigned>(date.day()));
  parts.tm_hour = static_cast<int>(second / 3600);
  parts.tm_min = static_cast<int>(second % 3600 / 60);
  parts.tm_sec = static_cast<int>(second % 60);
  parts.tm_wday = static_cast<int>(weekday{day}.c_encoding());
  parts.tm_yday = static_cast<int>((day - sys_days{date.year() / January / 1}).count());
  parts.tm_isdst = -1;
  return parts;
}

std::time_t nextLocalHour(std::time_t after, int hour, const UtcOffsetAt& offsetAt) {
  const long long wall = static_cast<long long>(after) + offsetAt(after);
  long long day = floorDiv(wall, kDay);
  for (int tries = 0; tries < 3; ++tries, ++day) {
    const long long instant = instantOfWall(day * kDay + hour * 3600LL, offsetAt);
    if (instant >= after) return static_cast<std::time_t>(instant);
  }
  return after + kDay;
}

}  // namespace tessaren
