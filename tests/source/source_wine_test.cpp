// What differs on Windows in source/: the system's local clock (Wine takes its zone from
// the Unix TZ, and ctest runs this with TZ=Europe/Berlin), and the HTML parse that
// long-jumps out of gumbo when over its budget, which on Windows unwinds through SEH.
#include <gtest/gtest.h>

#include "source/dated_address.h"
#include "source/find_picture.h"
#include "source/html_tree.h"
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
  // Every local time of the program is kernel32's, whatever the C runtime makes of TZ.
  EXPECT_EQ(localTime(utc(2024, 7, 1, 4, 0)).tm_hour, 6);
  EXPECT_EQ(localTime(utc(2024, 12, 31, 23, 30)).tm_year, 2025 - 1900);
  EXPECT_EQ(nextLocalHour(utc(2024, 7, 1, 4, 1), 6), utc(2024, 7, 2, 4, 0));
  // The hour the clocks repeat is asked for once.
  EXPECT_EQ(
      expandDatedAddress("{local:%H}-{utc:%H}", utc(2024, 10, 27, 1, 30), systemUtcOffsetAt, 3)
          .addresses,
      (std::vector<std::string>{"02-01", "01-23", "00-22"}));
}

TEST(HtmlBudgetWineTest, AParseOverItsBudgetEndsAndTheNextOneWorks) {
  std::string nested;
  for (int i = 0; i < 3000; ++i) nested += "<div>";
  for (int round = 0; round < 3; ++round) {
    EXPECT_EQ(HtmlTree(nested, {std::chrono::milliseconds(0)}).document(), nullptr);
    EXPECT_EQ(HtmlTree(nested, {std::chrono::milliseconds(5000), 64 << 10}).document(), nullptr);
    const FindResult found = findPicture(nested + "<meta property=og:image content=/a.jpg>", "",
                                         "https://x.example/p/", "");
    EXPECT_EQ(found.address, "https://x.example/a.jpg");
  }
}

}  // namespace
}  // namespace tessaren
