// Instants and a zone for the dated-address tests: UTC times as seconds since 1970, and
// Central European time by the EU's rule, with no time zone database.
#pragma once

#include <chrono>
#include <ctime>

namespace tessaren::test {

inline std::time_t utc(int y, unsigned m, unsigned d, int hour, int minute, int second = 0) {
  using namespace std::chrono;
  return static_cast<std::time_t>(sys_days{year{y} / m / d}.time_since_epoch().count()) * 86400 +
         hour * 3600 + minute * 60 + second;
}

// Summer time from 01:00 UTC on the last Sunday of March to 01:00 UTC on the last Sunday
// of October.
inline long berlin(std::time_t instant) {
  using namespace std::chrono;
  const year y = year_month_day{floor<days>(sys_seconds{seconds{instant}})}.year();
  const auto changeAt = [&](month m) {
    return static_cast<std::time_t>(sys_days{year_month_weekday_last{y, m, weekday_last{Sunday}}}
                                        .time_since_epoch()
                                        .count()) *
               86400 +
           3600;
  };
  return instant >= changeAt(March) && instant < changeAt(October) ? 7200 : 3600;
}

}  // namespace tessaren::test
