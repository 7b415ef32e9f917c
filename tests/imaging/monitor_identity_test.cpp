// A monitor's identity from its EDID: the text serial or the number, nothing from a block
// that is no EDID or names no serial, and nothing for monitors that share one.
#include "imaging/monitor_identity.h"

#include <gtest/gtest.h>

#include <numeric>

namespace tessaren {
namespace {

// A base block of "DEL" product A0B1 with the serial number, a text serial in the second
// descriptor when given (the first a detailed timing), and its checksum, wrong by `off`.
std::vector<std::uint8_t> edid(std::uint32_t number, std::string text = "", int off = 0) {
  std::vector<std::uint8_t> b = {0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0x10, 0xac, 0xb1, 0xa0};
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  b.resize(128);
  b[54] = 0x3a;
  b[75] = text.empty() ? 0 : 0xff;
  text = (text + "\n").substr(0, 13);
  std::copy(text.begin(), text.end(), b.begin() + 77);
  b[127] = static_cast<std::uint8_t>(off - std::accumulate(b.begin(), b.end(), 0));
  return b;
}

TEST(MonitorIdentity, FromTheEdidOrNothing) {
  std::vector<std::uint8_t> extended = edid(0, "CN0F1234567"), cut = edid(1);
  extended.resize(256, 0x5a);
  cut.resize(127);
  EXPECT_EQ(edidIdentity(edid(123456, "CN0F1234567")), "DEL A0B1 CN0F1234567");
  EXPECT_EQ(edidIdentity(extended), "DEL A0B1 CN0F1234567");
  EXPECT_EQ(edidIdentity(edid(0, "ABCDEFGHIJKLM")), "DEL A0B1 ABCDEFGHIJKLM");
  EXPECT_EQ(edidIdentity(edid(123456)), "DEL A0B1 0001E240");
  EXPECT_EQ(edidIdentity(edid(7, "    ")), "DEL A0B1 00000007") << "a text of blanks";
  EXPECT_EQ(edidIdentity(edid(0)), "") << "no serial: twins could not be told apart";
  EXPECT_EQ(edidIdentity(edid(1, "", 1)), "") << "a wrong checksum";
  EXPECT_EQ(edidIdentity(cut), "");

  std::vector<Monitor> monitors = {
      {{}, true, "a", "DEL A0B1 1"}, {{}, false, "b", "DEL A0B1 1"}, {{}, false, "c", "GSM 1 2"}};
  keepUniqueIdentities(monitors);
  EXPECT_EQ(monitors[0].identity + "|" + monitors[1].identity + "|" + monitors[2].identity,
            "||GSM 1 2");
}

}  // namespace
}  // namespace tessaren
