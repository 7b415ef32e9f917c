// The system's local clock on Windows, under Wine, which takes its zone from the Unix TZ:
// ctest runs this with TZ=Europe/Berlin.
#include <gtest/gtest.h>

#include "source/dated_address.h"
#include "tests/source/zones.h"

namespace tessaren {
namespace {

using test::berlin;
using test::utc;

TEST(LocalTimeWineTest, FollowsTheZoneSetInWindows) {
  for (std::time_t change : {utc(2024, 3, 31, 1, 0), utc(2024, 10, 27, 1, 0)}) {
    for (std::time_t instant : {change - 86400, change - 1, change, change + 1, change + 86400})
      EXPECT_EQ(systemUtcOffsetAt(instant), berlin(instant)) << instant;
  }
  // The hour the clocks repeat is asked for once.
  EXPECT_EQ(
      expandDatedAddress("{local:%H}-{utc:%H}", utc(2024, 10, 27, 1, 30), systemUtcOffsetAt, 3)
          .addresses,
      (std::vector<std::string>{"02-01", "01-23", "00-22"}));
}

}  // namespace
}  // namespace tessaren
