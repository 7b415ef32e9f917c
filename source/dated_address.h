// Addresses that name the time of their picture: "{utc:FORMAT}" and "{local:FORMAT}" in
// the address are written out for the latest picture due, and when that one is not there
// yet, for the ones before it.
//
//   https://maps.example/radar/{utc:%Y%m%d%H%M|step=10m|lag=30m}.png
//
// FORMAT takes strftime's %Y %y %m %d %j %H %M %S and %%; any other character stands as it
// is. Options after '|': step=N, the interval the pictures come at (the time is rounded
// down to a whole step, counted from midnight when it divides a day), and lag=N, how late
// a picture is published (subtracted before rounding); N is a whole number of m, h or d,
// at most 31 days. The options hold for the whole address and may be given on any one
// placeholder. Without a step, the step is the finest unit the formats print (a minute
// for %M, an hour for %H, a day otherwise). Every placeholder shows the same instant, in
// its own clock; the first placeholder's clock decides the rounding.
#pragma once

#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "platform/local_time.h"

namespace tessaren {

// The latest picture due and at most this many before it.
inline constexpr int kEarlierDatedAttempts = 6;

// Whether the address holds a date placeholder (or a broken one). Tile placeholders
// (source/tile_grid.h) pass through the dated rules as they are.
bool isDatedAddress(const std::string& address);

// UnusableAddress with the reason ("unclosed { in the address", "unknown letter %Q in
// {utc:%Q}", "step must be like 10m", "{x:3..1} counts down") when the address is not a
// valid template, its tile placeholders included; nullopt
// for a valid one and for an address without placeholders.
std::optional<Failure> checkTemplateSyntax(const std::string& address);

struct DatedAddresses {
  // Attempt 0 (the latest picture due at `now`), then each one step earlier on the
  // first placeholder's clock, `attempts` steps in all. A time the clock skipped (the
  // hour a daylight-saving change leaves out) is not a step; a step that gives the
  // address of the one before (the hour the clocks repeat, a format coarser than the
  // step) adds none. An address without placeholders gives itself alone.
  std::vector<std::string> addresses;
  std::optional<Failure> failure;  // as checkTemplateSyntax; then addresses is empty
};

DatedAddresses expandDatedAddress(const std::string& address, std::time_t now,
                                  const UtcOffsetAt& localOffset = systemUtcOffsetAt,
                                  int attempts = 1 + kEarlierDatedAttempts);

}  // namespace tessaren
