// The system's clocks and local time as text.
#include "update/clock.h"

#include <string>

namespace tessaren {
namespace {

class SystemClock final : public Clock {
 public:
  SteadyTime steadyNow() override { return std::chrono::steady_clock::now(); }
  std::time_t wallNow() override { return std::time(nullptr); }
};

std::string formatted(std::time_t when, const char* format) {
  const std::tm parts = localTime(when);
  char text[32] = {};
  std::strftime(text, sizeof text, format, &parts);
  return text;
}

}  // namespace

Clock& systemClock() {
  static SystemClock clock;
  return clock;
}

std::string clockText(std::time_t when, std::time_t today) {
  const std::tm day = localTime(when);
  const std::tm now = localTime(today);
  const bool sameDay = day.tm_year == now.tm_year && day.tm_yday == now.tm_yday;
  return formatted(when, sameDay ? "%H:%M" : "%Y-%m-%d %H:%M");
}

std::string logTimeText(std::time_t when) { return formatted(when, "%Y-%m-%d %H:%M:%S"); }

}  // namespace tessaren
