// Dated addresses: templates against times (month and year ends, steps, lags, local time
// across both daylight-saving changes), the syntax checks, and the C runtime's local time.
#include "source/dated_address.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "source/tile_grid.h"
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
       "unknown placeholder {gmt:%Y}: use {utc:...}, {local:...}, {x:A..B} or {y:A..B} (%7B for a "
       "{ of the address)"},
      {"{}",
       "unknown placeholder {}: use {utc:...}, {local:...}, {x:A..B} or {y:A..B} (%7B for a { of "
       "the address)"},
      {"{utc:%H|step=10}", "step must be like 10m (m, h or d, at most 31d) in {utc:%H|step=10}"},
      {"{utc:%H|step=0m}", "step must be like 10m (m, h or d, at most 31d) in {utc:%H|step=0m}"},
      {"{utc:%H|step=-5m}", "step must be like 10m (m, h or d, at most 31d) in {utc:%H|step=-5m}"},
      {"{utc:%H|lag=32d}", "lag must be like 30m (m, h or d, at most 31d) in {utc:%H|lag=32d}"},
      {"{utc:%H|lag=1w}", "lag must be like 30m (m, h or d, at most 31d) in {utc:%H|lag=1w}"},
      {"{utc:%H|size=3}", "unknown option \"size=3\" in {utc:%H|size=3}: use step= or lag="},
      {"{utc:%H|step=1h}{utc:%M|step=2h}", "two different values for step in the address"},
      // Tile numbers, with and without a date.
      {"https://t.example/{utc:%H%M|step=10m}_{x:0..3}_{y:0..3}.png", ""},
      {"https://t.example/{y:00..19}/{x:00..19}.jpg", ""},
      {"{x:1..2}", ""},
      {"{x:3..1}", "{x:3..1} counts down: write the smaller number first"},
      {"{y:0-3}", "{y:0-3} must be like {y:0..3}"},
      {"{x:0..}", "{x:0..} must be like {x:0..3}"},
      {"{x:0..3}{x:0..4}", "two different ranges for x in the address"},
      {"{x:0..20}{y:0..19}", "21 x 20 tiles is more than 400"},
      {"{x:0..3}{utc:%Q}", "unknown letter %Q in {utc:%Q}"},
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

// Every tile of a grid, after the date is written out: columns and rows as the address
// numbers them, padded as written.
TEST(DatedAddressTest, TileAddresses) {
  struct Case {
    std::string address;
    int columns, rows;
    std::vector<std::string> tiles;  // row by row; then the last tile's name
    std::string lastName;
  };
  const Case cases[] = {
      {"https://t.example/{utc:%H%M%S|step=10m|lag=20m}_{x:0..1}_{y:0..1}.png",
       2,
       2,
       {"https://t.example/233000_0_0.png", "https://t.example/233000_1_0.png",
        "https://t.example/233000_0_1.png", "https://t.example/233000_1_1.png"},
       "tile x=1, y=1"},
      {"s/{y:08..09}/{x:7..8}-{y:08..09}",
       2,
       2,
       {"s/08/7-08", "s/08/8-08", "s/09/7-09", "s/09/8-09"},
       "tile x=8, y=9"},
      {"row_{x:0..2}.jpg", 3, 1, {"row_0.jpg", "row_1.jpg", "row_2.jpg"}, "tile x=2, y=0"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.address);
    const ParsedTileGrid parsed = parseTileGrid(c.address);
    ASSERT_TRUE(parsed.grid);
    ASSERT_EQ(parsed.grid->columns(), c.columns);
    ASSERT_EQ(parsed.grid->rows(), c.rows);
    const DatedAddresses dated =
        expandDatedAddress(c.address, utc(2024, 12, 31, 23, 59), berlin, 1);
    ASSERT_EQ(dated.addresses.size(), 1u);
    std::vector<std::string> tiles;
    for (int row = 0; row < c.rows; ++row)
      for (int column = 0; column < c.columns; ++column)
        tiles.push_back(tileAddress(dated.addresses[0], *parsed.grid, column, row));
    EXPECT_EQ(tiles, c.tiles);
    EXPECT_EQ(tileName(*parsed.grid, c.columns - 1, c.rows - 1), c.lastName);
  }
  EXPECT_FALSE(parseTileGrid("https://t.example/{utc:%H}.png").grid);
  EXPECT_FALSE(isDatedAddress("https://t.example/{x:0..3}.png"));
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
