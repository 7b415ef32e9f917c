// A monitor's identity from its EDID.
#include "imaging/monitor_identity.h"

#include <algorithm>
#include <cstdio>
#include <numeric>

namespace tessaren {
namespace {

constexpr std::size_t kBaseBlock = 128;
constexpr std::uint8_t kHeader[] = {0x00, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0x00};
// The four 18-byte descriptors; one with tag 0xFF holds the serial as text.
constexpr std::size_t kDescriptors[] = {54, 72, 90, 108};
constexpr std::uint8_t kSerialTag = 0xff;

// The descriptor's 13 characters, up to the line feed, trimmed; printable ASCII only.
std::string serialText(std::span<const std::uint8_t> descriptor) {
  std::string text;
  for (std::size_t i = 5; i < 18 && descriptor[i] != 0x0a; ++i) {
    const std::uint8_t c = descriptor[i];
    if (c < 0x20 || c > 0x7e) return "";
    text += static_cast<char>(c);
  }
  const std::size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

}  // namespace

std::string edidIdentity(std::span<const std::uint8_t> edid) {
  if (edid.size() < kBaseBlock || !std::equal(std::begin(kHeader), std::end(kHeader), edid.begin()))
    return "";
  if (std::accumulate(edid.begin(), edid.begin() + kBaseBlock, 0u) % 256 != 0) return "";
  // Three letters of five bits each, 1 for 'A', big-endian.
  const unsigned maker = static_cast<unsigned>(edid[8]) << 8 | edid[9];
  char letters[4] = {};
  for (int i = 0; i < 3; ++i) {
    const unsigned letter = maker >> (10 - 5 * i) & 0x1f;
    if (letter < 1 || letter > 26) return "";
    letters[i] = static_cast<char>('A' + letter - 1);
  }
  const unsigned product = static_cast<unsigned>(edid[11]) << 8 | edid[10];
  const std::uint32_t number =
      static_cast<std::uint32_t>(edid[12]) | static_cast<std::uint32_t>(edid[13]) << 8 |
      static_cast<std::uint32_t>(edid[14]) << 16 | static_cast<std::uint32_t>(edid[15]) << 24;
  std::string serial;
  for (std::size_t at : kDescriptors) {
    const std::span<const std::uint8_t> descriptor = edid.subspan(at, 18);
    if (descriptor[0] == 0 && descriptor[1] == 0 && descriptor[3] == kSerialTag)
      serial = serialText(descriptor);
  }
  char head[16];
  std::snprintf(head, sizeof head, "%s %04X ", letters, product);
  if (!serial.empty()) return head + serial;
  if (number == 0) return "";
  char digits[12];
  std::snprintf(digits, sizeof digits, "%08X", static_cast<unsigned>(number));
  return head + std::string(digits);
}

void keepUniqueIdentities(std::vector<Monitor>& monitors) {
  std::vector<std::string> shared;
  for (std::size_t i = 0; i < monitors.size(); ++i)
    for (std::size_t j = i + 1; j < monitors.size(); ++j)
      if (!monitors[i].identity.empty() && monitors[i].identity == monitors[j].identity)
        shared.push_back(monitors[i].identity);
  for (Monitor& monitor : monitors)
    if (std::find(shared.begin(), shared.end(), monitor.identity) != shared.end())
      monitor.identity.clear();
}

}  // namespace tessaren
