// A monitor's identity from its EDID: the text serial or the number, nothing from a block
// that is no EDID or names no serial, and nothing for monitors that share one.
#include "imaging/monitor_identity.h"

#include <gtest/gtest.h>

#include <numeric>

namespace tessaren {
namespace {

// A base block of "DEL" product A0B1 with the serial number, a text serial in the second
// descriptor when given, and its checksum (made wrong by `wrongBy`).
std::vector<std::uint8_t> edid(std::uint32_t number, std::string text = "", int wrongBy = 0) {
  std::vector<std::uint8_t> b = {0, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0, 0x10, 0xac, 0xb1, 0xa0};
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  b.resize(128);
  b[54] = 0x3a;  // the first descriptor a detailed timing, as in every real EDID
  if (!text.empty()) {
    b[75] = 0xff;
    text = (text + "\n").substr(0, 13);
    std::copy(text.begin(), text.end(), b.begin() + 77);
  }
  b[127] = static_cast<std::uint8_t>(wrongBy - std::accumulate(b.begin(), b.end(), 0));
  return b;
}

TEST(MonitorIdentity, FromTheEdidOrNothing) {
  std::vector<std::uint8_t> extended = edid(0, "CN0F1234567"), header = edid(1), cut = edid(1);
  extended.resize(256, 0x5a);
  header[0] = 1;
  cut.resize(127);
  const struct {
    std::vector<std::uint8_t> block;
    const char* identity;
  } cases[] = {
      {edid(123456, "CN0F1234567"), "DEL A0B1 CN0F1234567"},
      {extended, "DEL A0B1 CN0F1234567"},
      {edid(0, "ABCDEFGHIJKLM"), "DEL A0B1 ABCDEFGHIJKLM"},
      {edid(123456), "DEL A0B1 0001E240"},
      {edid(7, "    "), "DEL A0B1 00000007"},  // a text of blanks: the number
      {edid(0), ""},                           // no serial: twins could not be told apart
      {edid(1, "", 1), ""},
      {header, ""},
      {cut, ""},
  };
  for (const auto& c : cases) EXPECT_EQ(edidIdentity(c.block), c.identity) << c.identity;

  std::vector<Monitor> monitors = {
      {{}, true, "a", "DEL A0B1 1"}, {{}, false, "b", "DEL A0B1 1"}, {{}, false, "c", "GSM 1 2"}};
  keepUniqueIdentities(monitors);
  EXPECT_EQ(monitors[0].identity + "|" + monitors[1].identity + "|" + monitors[2].identity,
            "||GSM 1 2");
}

}  // namespace
}  // namespace tessaren
