// The two clocks the schedule reads: a steady one for waiting, and the wall clock, which
// alone shows that the computer slept through an update, and which the user reads times on.
#pragma once

#include <chrono>
#include <ctime>
#include <string>

#include "platform/local_time.h"

namespace tessaren {

using SteadyTime = std::chrono::steady_clock::time_point;

class Clock {
 public:
  virtual ~Clock() = default;
  virtual SteadyTime steadyNow() = 0;
  virtual std::time_t wallNow() = 0;
};

// The system's clocks.
Clock& systemClock();

// "14:05" and "2026-12-07 14:05:09" in local time; a time on another day than today is
// shown with its date ("2026-12-06 13:05").
std::string clockText(std::time_t when, std::time_t today);
std::string logTimeText(std::time_t when);

}  // namespace tessaren
