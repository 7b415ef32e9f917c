// The Properties dialog's interval field: what a typed text stores, and what a stored
// number shows.
#include "settings/properties_dialog.h"

#include <gtest/gtest.h>

#include <limits>

namespace tessaren {
namespace {

constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
constexpr std::int32_t kMin = std::numeric_limits<std::int32_t>::min();

TEST(IntervalText, TheLeadingNumberIsStored) {
  struct Case {
    const char* text;
    std::int32_t stored;
  } cases[] = {
      {"15", 15},
      {"  15 minutes", 15},
      {" \t\n\v\f\r42", 42},
      {"+7", 7},
      {"-3", -3},
      {"007", 7},
      {"12.5", 12},
      {"0x10", 0},
      {"", 0},
      {"abc", 0},
      {"- 5", 0},
      {"+-5", 0},
      {"--5", 0},
      {"5-", 5},
      // Beyond the signed 32-bit range the number saturates instead of wrapping around.
      {"2147483647", kMax},
      {"2147483648", kMax},
      {"4294967356", kMax},  // would wrap to 60
      {"99999999999999999999999999999", kMax},
      {"-2147483648", kMin},
      {"-2147483649", kMin},
      {"-99999999999999999999999999999", kMin},
      {"000000000000000000000000000060", 60},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(intervalFromText(c.text), c.stored) << '"' << c.text << '"';
  }
}

TEST(IntervalText, StoredNumbersShowAsDecimalAndReadBackUnchanged) {
  struct Case {
    std::int32_t number;
    const char* shown;
  } cases[] = {{1, "1"},   {60, "60"},           {0, "0"},
               {-3, "-3"}, {kMax, "2147483647"}, {kMin, "-2147483648"}};
  for (const Case& c : cases) {
    EXPECT_EQ(intervalToText(c.number), c.shown);
    EXPECT_EQ(intervalFromText(intervalToText(c.number)), c.number);
  }
}

}  // namespace
}  // namespace tessaren
