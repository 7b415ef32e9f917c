// The Properties dialog's record and its interval conversion.
#include "settings/properties_dialog.h"

#include <algorithm>
#include <limits>

namespace tessaren {

Settings& settingsRecord() {
  static Settings settings;
  return settings;
}

std::int32_t intervalFromText(const std::string& text) {
  std::size_t at = 0;
  auto isBlank = [](char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
  };
  while (at < text.size() && isBlank(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  // Accumulated as a magnitude in 64 bits and stopped once past the limit, so that any
  // number of digits neither overflows nor wraps.
  constexpr std::int64_t kLimit = std::int64_t{std::numeric_limits<std::int32_t>::max()} + 1;
  std::int64_t magnitude = 0;
  for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
    magnitude = std::min(magnitude * 10 + (text[at] - '0'), kLimit);
  }
  if (negative) return static_cast<std::int32_t>(-magnitude);
  return static_cast<std::int32_t>(std::min(magnitude, kLimit - 1));
}

std::string intervalToText(std::int32_t interval) { return std::to_string(interval); }

}  // namespace tessaren
