// Text helpers.
#include "settings/text_format.h"

#include <cstdio>

namespace tessaren {
namespace {

constexpr double kKilobyte = 1024.0;
constexpr double kMegabyte = 1024.0 * 1024.0;

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool isContinuationByte(char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }

std::string formatted(const char* format, double value) {
  char text[32];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

std::string trimmed(const std::string& text) {
  std::size_t first = 0;
  std::size_t last = text.size();
  while (first < last && isBlank(text[first])) ++first;
  while (last > first && isBlank(text[last - 1])) --last;
  return text.substr(first, last - first);
}

std::string utf8Prefix(const std::string& text, std::size_t maxBytes) {
  if (text.size() <= maxBytes) return text;
  std::size_t end = maxBytes;
  // Step back over the continuation bytes to the start of the character that does not fit.
  while (end > 0 && isContinuationByte(text[end])) --end;
  return text.substr(0, end);
}

std::string formatSize(std::uint64_t bytes) {
  const double value = static_cast<double>(bytes);
  if (value < kMegabyte) return formatted("%.0f KB", value / kKilobyte);
  if (value < 10 * kMegabyte) return formatted("%.1f MB", value / kMegabyte);
  return formatted("%.0f MB", value / kMegabyte);
}

std::string formatSizeOf(std::uint64_t part, std::uint64_t whole) {
  const double unit = whole < kMegabyte ? kKilobyte : kMegabyte;
  const char* name = whole < kMegabyte ? "KB" : "MB";
  return formatted("%.1f", static_cast<double>(part) / unit) + " of " +
         formatted("%.1f", static_cast<double>(whole) / unit) + " " + name;
}

}  // namespace tessaren
