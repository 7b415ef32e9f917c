// Dated addresses: templates against times (month and year ends, steps, lags, local time
// across both daylight-saving changes), the syntax checks, and the C runtime's local time.
#include "source/dated_address.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/source/zones.h"

namespace tessaren {
namespace {

using test::berlin;
using test::utc;

long kathmandu(std::time_t) { return 5 * 3600 + 45 * 60; }

TEST(DatedAddressTest, Expansion) {
  struct Case {
    std::string address;
    std::time_t now;
    UtcOffsetAt zone;
    int attempts;
    std::vector<std::string> expected;
  };
  const Case cases[] = {
      {"{utc:%Y%m%d%H%M|step=10m|lag=30m}",
       utc(2024, 12, 31, 23, 59),
       berlin,
       3,
       {"202412312320", "202412312310", "202412312300"}},
      {"{utc:%Y/%j/%H|lag=1h}",
       utc(2025, 1, 1, 0, 20),
       berlin,
       3,
       {"2024/366/23", "2024/366/22", "2024/366/21"}},
      {"{utc:%y%m%d|lag=6h}", utc(2024, 3, 1, 5, 0), berlin, 2, {"240229", "240228"}},
      {"{utc:%y%m%d|lag=6h}", utc(2023, 3, 1, 5, 0), berlin, 2, {"230228", "230227"}},
      {"x{utc:%H%M|step=3h}.png",
       utc(2024, 6, 15, 10, 59),
       berlin,
       5,
       {"x0900.png", "x0600.png", "x0300.png", "x0000.png", "x2100.png"}},
      {"{utc:%Y-%m-%d|lag=2d}", utc(2024, 1, 1, 12, 0), berlin, 2, {"2023-12-30", "2023-12-29"}},
      {"{utc:%H%M}", utc(2024, 6, 1, 10, 7, 40), berlin, 2, {"1007", "1006"}},
      {"{utc:100%%_%d}", utc(2024, 6, 15, 10, 0), berlin, 1, {"100%_15"}},
      // A format coarser than its step gives each address once.
      {"{utc:%Y%m}", utc(2024, 3, 1, 3, 0), berlin, 3, {"202403", "202402"}},
      {"https://x.example/a.jpg", utc(2024, 3, 1, 3, 0), berlin, 3, {"https://x.example/a.jpg"}},
      // Local time: the year ends an hour before UTC's.
      {"{local:%Y%m%d%H|lag=30m}",
       utc(2024, 12, 31, 23, 20),
       berlin,
       2,
       {"2024123123", "2024123122"}},
      // Clocks go forward at 02:00 on 31 March 2024: 02:00 and 02:30 never happened.
      {"{local:%d_%H%M|step=30m}",
       utc(2024, 3, 31, 1, 10),
       berlin,
       3,
       {"31_0300", "31_0130", "31_0100"}},
      // Clocks go back at 03:00 on 27 October 2024: 02:xx comes twice, and is asked once.
      {"{local:%H}", utc(2024, 10, 27, 1, 30), berlin, 3, {"02", "01", "00"}},
      {"{local:%H}-{utc:%H}", utc(2024, 10, 27, 1, 30), berlin, 3, {"02-01", "01-23", "00-22"}},
      {"{local:%H}-{utc:%H}", utc(2024, 10, 27, 0, 30), berlin, 3, {"02-00", "01-23", "00-22"}},
      // Whole hours of local time in a zone 5:45 ahead; the first placeholder's clock rounds.
      {"{local:%H%M|step=1h}", utc(2024, 6, 1, 12, 0), kathmandu, 2, {"1700", "1600"}},
      {"{utc:%H%M|step=1h}-{local:%H%M}", utc(2024, 6, 1, 12, 0), kathmandu, 1, {"1200-1745"}},
  };
  for (const Case& c : cases) {
    const DatedAddresses expanded = expandDatedAddress(c.address, c.now, c.zone, c.attempts);
    EXPECT_FALSE(expanded.failure) << c.address;
    EXPECT_EQ(expanded.addresses, c.expected) << c.address << " at " << c.now;
  }
  EXPECT_EQ(
      expandDatedAddress("{utc:%H%M|step=10m}", utc(2024, 1, 1, 0, 0), berlin).addresses.size(),
      7u);
}

TEST(DatedAddressTest, Syntax) {
  struct Case {
    std::string address;
    std::string reason;  // empty: valid
  };
  const Case cases[] = {
      {"https://x.example/{local:%Y%m%d%H%M|step=10m|lag=30m}.jpg", ""},
      {"{utc:%H|step=1h}/{utc:%M|lag=2d}/{utc:%j}", ""},
      {"{utc:%H|step=1h}/{local:%M|step=60m}", ""},
      {"no placeholder } here", ""},
      {"https://x.example/{utc:%Y", "unclosed { in the address"},
      {"{utc:%Y{local:%H}}", "unclosed { in the address"},
      {"{utc:%Y%m%Q}", "unknown letter %Q in {utc:%Y%m%Q}"},
      {"{utc:%Y%}", "% at the end of {utc:%Y%}"},
      {"{gmt:%Y}",
       "unknown placeholder {gmt:%Y}: use {utc:...} or {local:...} (%7B for a { of the address)"},
      {"{}", "unknown placeholder {}: use {utc:...} or {local:...} (%7B for a { of the address)"},
      {"{utc:%H|step=10}", "step must be like 10m (m, h or d, at most 31d) in {utc:%H|step=10}"},
      {"{utc:%H|step=0m}", "step must be like 10m (m, h or d, at most 31d) in {utc:%H|step=0m}"},
      {"{utc:%H|step=-5m}", "step must be like 10m (m, h or d, at most 31d) in {utc:%H|step=-5m}"},
      {"{utc:%H|lag=32d}", "lag must be like 30m (m, h or d, at most 31d) in {utc:%H|lag=32d}"},
      {"{utc:%H|lag=1w}", "lag must be like 30m (m, h or d, at most 31d) in {utc:%H|lag=1w}"},
      {"{utc:%H|size=3}", "unknown option \"size=3\" in {utc:%H|size=3}: use step= or lag="},
      {"{utc:%H|step=1h}{utc:%M|step=2h}", "two different values for step in the address"},
  };
  for (const Case& c : cases) {
    const std::optional<Failure> failure = checkTemplateSyntax(c.address);
    EXPECT_EQ(failure ? failure->detail : "", c.reason) << c.address;
    if (!failure) continue;
    EXPECT_EQ(failure->kind, FailureKind::UnusableAddress);
    const DatedAddresses expanded = expandDatedAddress(c.address, 0, berlin);
    EXPECT_EQ(expanded.failure, failure) << c.address;
    EXPECT_TRUE(expanded.addresses.empty()) << c.address;
  }
}

// The C library's local time, with POSIX's rule for the same zone (no time zone database
// needed), against the rule above around both changes.
TEST(DatedAddressTest, SystemLocalTime) {
  const char* saved = std::getenv("TZ");
  const std::string previous = saved == nullptr ? "" : saved;
  setenv("TZ", "CET-1CEST,M3.5.0,M10.5.0/3", 1);
  tzset();
  for (std::time_t change : {utc(2024, 3, 31, 1, 0), utc(2024, 10, 27, 1, 0)}) {
    for (std::time_t instant : {change - 86400, change - 1, change, change + 1, change + 86400})
      EXPECT_EQ(systemUtcOffsetAt(instant), berlin(instant)) << instant;
  }
  if (saved == nullptr) {
    unsetenv("TZ");
  } else {
    setenv("TZ", previous.c_str(), 1);
  }
  tzset();
}

}  // namespace
}  // namespace tessaren
