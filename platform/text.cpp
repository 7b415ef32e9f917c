// Text helpers: each rule about blanks, case and UTF-8 written once.
#include "platform/text.h"

#include <algorithm>
#include <cstdio>

namespace tessaren {
namespace {

constexpr double kKilobyte = 1024.0;
constexpr double kMegabyte = 1024.0 * 1024.0;

bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

// Characters that are shown as nothing but change how the text around them is shown: the
// C1 controls, the line and paragraph separators, and the bidirectional embeddings,
// overrides, isolates and marks, with which "evil\u202E gpj.exe" reads "evil exe.jpg".
bool isFormatControl(char32_t c) {
  return (c >= 0x80 && c <= 0x9F) || c == 0x061C || c == 0x200E || c == 0x200F ||
         (c >= 0x2028 && c <= 0x202E) || (c >= 0x2066 && c <= 0x2069);
}

char32_t codePointOf(std::string_view sequence) {
  char32_t c = static_cast<unsigned char>(sequence[0]) & (0x7F >> sequence.size());
  for (std::size_t i = 1; i < sequence.size(); ++i)
    c = c << 6 | (static_cast<unsigned char>(sequence[i]) & 0x3F);
  return c;
}

std::string formatted(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

bool isBlank(char c) { return kBlanks.find(c) != std::string_view::npos; }

std::string trimmed(std::string_view text) {
  while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
  return std::string(text);
}

char lowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string lowerAscii(std::string_view text) {
  std::string lower(text);
  for (char& c : lower) c = lowerAscii(c);
  return lower;
}

bool equalsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return lowerAscii(x) == lowerAscii(y);
         });
}

bool startsWithIgnoringCase(std::string_view text, std::string_view prefix) {
  return equalsIgnoringCase(text.substr(0, prefix.size()), prefix);
}

std::string utf8Prefix(const std::string& text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Step back over the continuation bytes to the start of the character that does not fit.
  while (end > 0 && isContinuationByte(text[end])) --end;
  return text.substr(0, end);
}

std::string displaySafe(std::string_view text, std::size_t maxBytes) {
  static constexpr std::string_view kReplacement = "\xEF\xBF\xBD";  // U+FFFD
  std::string safe;
  safe.reserve(std::min(text.size(), maxBytes));
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  for (std::size_t at = 0; at < text.size();) {
    const unsigned char lead = byte(at);
    if (lead < 0x20 || lead == 0x7F) {
      safe.push_back(' ');
      ++at;
      continue;
    }
    if (lead < 0x80) {
      safe.push_back(static_cast<char>(lead));
      ++at;
      continue;
    }
    // The length of a well-formed sequence (RFC 3629): no overlong forms, no surrogates,
    // nothing beyond U+10FFFF.
    std::size_t length = 0;
    unsigned char low = 0x80, high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) low = 0xA0;
      if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) low = 0x90;
      if (lead == 0xF4) high = 0x8F;
    }
    bool valid = length > 0 && at + length <= text.size();
    for (std::size_t i = 1; valid && i < length; ++i) {
      const unsigned char next = byte(at + i);
      valid = i == 1 ? next >= low && next <= high : isContinuationByte(static_cast<char>(next));
    }
    if (valid && isFormatControl(codePointOf(text.substr(at, length)))) {
      safe.push_back(' ');
    } else if (valid) {
      safe.append(text.substr(at, length));
    } else {
      safe.append(kReplacement);
      length = 1;
    }
    at += length;
  }
  if (safe.size() <= maxBytes) return safe;
  return utf8Prefix(safe, maxBytes >= 3 ? maxBytes - 3 : 0) + "...";
}

std::size_t utf16Length(std::string_view utf8) {
  std::size_t units = 0;
  for (unsigned char c : utf8) {
    if ((c & 0xC0) != 0x80) ++units;  // the first byte of each character
    if ((c & 0xF8) == 0xF0) ++units;  // a surrogate pair
  }
  return units;
}

std::string formatSize(std::uint64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (value < kMegabyte) return formatted("%.0f KB", value / kKilobyte);
  if (value < 10 * kMegabyte && bytes % (1024 * 1024) != 0)
    return formatted("%.1f MB", value / kMegabyte);
  return formatted("%.0f MB", value / kMegabyte);
}

std::string formatSizeOf(std::uint64_t part, std::uint64_t whole) {
  const double unit = whole < kMegabyte ? kKilobyte : kMegabyte;
  const char* name = whole < kMegabyte ? "KB" : "MB";
  return formatted("%.1f", static_cast<double>(part) / unit) + " of " +
         formatted("%.1f", static_cast<double>(whole) / unit) + " " + name;
}

}  // namespace tessaren
