// The computer's local clock, one source for every local time the program shows or asks
// for: the clock texts, the end of a pause "until tomorrow", the saved picture's name and
// dated addresses. On Windows it is the time zone set in Windows (kernel32), as the
// taskbar clock shows it, never the C runtime's, which follows a TZ variable where one is
// set (under Wine, and by some tools on Windows) and would then disagree with it.
#pragma once

#include <ctime>
#include <functional>

namespace tessaren {

// Seconds east of UTC that the local clock was set to at an instant (3600 for CET, 7200
// for CEST). Injected so that tests can use a zone of their own.
using UtcOffsetAt = std::function<long(std::time_t)>;

// The system's: kernel32 on Windows; natively the C library's (TZ and tzset apply). One
// implementation per platform.
long systemUtcOffsetAt(std::time_t instant);

// The calendar parts of an instant on the local clock (tm_isdst is -1: not known).
std::tm localTime(std::time_t when, const UtcOffsetAt& offsetAt = systemUtcOffsetAt);

// The first instant at or after `after` at which the local clock shows hour:00 (a day
// whose hour the clocks skip gives the first instant after the jump).
std::time_t nextLocalHour(std::time_t after, int hour,
                          const UtcOffsetAt& offsetAt = systemUtcOffsetAt);

}  // namespace tessaren
