// The two date forms feeds use: RFC 822 in RSS, RFC 3339 in Atom and Dublin Core. Many
// feeds bend them (a missing weekday or seconds, a two-digit year, a US zone name, an
// RFC 3339 date in pubDate), so both are read leniently.
#include <chrono>
#include <optional>

#include "platform/text.h"
#include "source/finders.h"

namespace tessaren {
namespace {

class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  void skipBlanks() {
    while (!text_.empty() && isBlank(text_.front())) text_.remove_prefix(1);
  }
  bool atEnd() {
    skipBlanks();
    return text_.empty();
  }
  char peek() const { return text_.empty() ? '\0' : text_.front(); }
  bool take(char c) {
    if (peek() != c) return false;
    text_.remove_prefix(1);
    return true;
  }
  // Between minDigits and maxDigits decimal digits.
  std::optional<int> number(std::size_t minDigits, std::size_t maxDigits) {
    std::size_t count = 0;
    int value = 0;
    while (count < maxDigits && count < text_.size() && text_[count] >= '0' && text_[count] <= '9')
      value = value * 10 + (text_[count++] - '0');
    if (count < minDigits) return std::nullopt;
    text_.remove_prefix(count);
    return value;
  }
  std::string_view word() {
    std::size_t count = 0;
    while (count < text_.size() && ((text_[count] | 0x20) >= 'a' && (text_[count] | 0x20) <= 'z'))
      ++count;
    const std::string_view letters = text_.substr(0, count);
    text_.remove_prefix(count);
    return letters;
  }
  void skipDigits() {
    while (peek() >= '0' && peek() <= '9') text_.remove_prefix(1);
  }

 private:
  std::string_view text_;
};

std::optional<std::int64_t> secondsSince1970(int year, int month, int day, int hour, int minute,
                                             int second, int offsetMinutes) {
  using namespace std::chrono;
  const year_month_day date{std::chrono::year{year},
                            std::chrono::month{static_cast<unsigned>(month)},
                            std::chrono::day{static_cast<unsigned>(day)}};
  if (!date.ok() || hour > 23 || minute > 59 || second > 60) return std::nullopt;
  const std::int64_t days = sys_days{date}.time_since_epoch().count();
  return days * 86400 + hour * 3600 + minute * 60 + std::min(second, 59) - offsetMinutes * 60;
}

// "Z", "+02:00", "-0500"; nullopt when none of them.
std::optional<int> numericOffset(Scanner& scan) {
  if (scan.take('Z') || scan.take('z')) return 0;
  const char sign = scan.peek();
  if (!scan.take('+') && !scan.take('-')) return std::nullopt;
  const std::optional<int> hours = scan.number(2, 2);
  scan.take(':');
  const std::optional<int> minutes = scan.number(2, 2);
  if (!hours || !minutes || *hours > 23 || *minutes > 59) return std::nullopt;
  return (sign == '-' ? -1 : 1) * (*hours * 60 + *minutes);
}

// YYYY-MM-DD[Thh:mm[:ss[.fraction]][zone]]
std::optional<std::int64_t> parseRfc3339(std::string_view text) {
  Scanner scan(text);
  scan.skipBlanks();
  const std::optional<int> year = scan.number(4, 4);
  if (!year || !scan.take('-')) return std::nullopt;
  const std::optional<int> month = scan.number(2, 2);
  if (!month || !scan.take('-')) return std::nullopt;
  const std::optional<int> day = scan.number(2, 2);
  if (!day) return std::nullopt;
  if (scan.atEnd()) return secondsSince1970(*year, *month, *day, 0, 0, 0, 0);
  if (!scan.take('T') && !scan.take('t')) return std::nullopt;
  const std::optional<int> hour = scan.number(2, 2);
  if (!hour || !scan.take(':')) return std::nullopt;
  const std::optional<int> minute = scan.number(2, 2);
  std::optional<int> second = 0;
  if (scan.take(':')) second = scan.number(2, 2);
  if (!minute || !second) return std::nullopt;
  if (scan.take('.')) scan.skipDigits();
  std::optional<int> offset = 0;
  if (!scan.atEnd()) offset = numericOffset(scan);
  if (!offset || !scan.atEnd()) return std::nullopt;
  return secondsSince1970(*year, *month, *day, *hour, *minute, *second, *offset);
}

// [Day,] D Mon YYYY hh:mm[:ss] [zone]
std::optional<std::int64_t> parseRfc822(std::string_view text) {
  static constexpr std::string_view kMonths[] = {"jan", "feb", "mar", "apr", "may", "jun",
                                                 "jul", "aug", "sep", "oct", "nov", "dec"};
  struct Zone {
    std::string_view name;
    int hours;
  };
  static constexpr Zone kZones[] = {{"GMT", 0},  {"UT", 0},   {"UTC", 0},  {"Z", 0},
                                    {"EST", -5}, {"EDT", -4}, {"CST", -6}, {"CDT", -5},
                                    {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7}};
  Scanner scan(text);
  scan.skipBlanks();
  if (!scan.word().empty()) {  // the weekday, which says nothing the date does not
    scan.take(',');
    scan.skipBlanks();
  }
  const std::optional<int> day = scan.number(1, 2);
  scan.skipBlanks();
  const std::string_view monthName = scan.word();
  int month = 0;
  for (int i = 0; i < 12 && monthName.size() >= 3; ++i) {
    if (equalsIgnoringCase(monthName.substr(0, 3), kMonths[i])) month = i + 1;
  }
  scan.skipBlanks();
  std::optional<int> year = scan.number(2, 4);
  if (!day || month == 0 || !year) return std::nullopt;
  if (*year < 100) *year += *year < 50 ? 2000 : 1900;
  scan.skipBlanks();
  const std::optional<int> hour = scan.number(1, 2);
  if (!hour || !scan.take(':')) return std::nullopt;
  const std::optional<int> minute = scan.number(2, 2);
  std::optional<int> second = 0;
  if (scan.take(':')) second = scan.number(2, 2);
  if (!minute || !second) return std::nullopt;
  int offsetMinutes = 0;
  if (!scan.atEnd()) {
    if (std::optional<int> numeric = numericOffset(scan)) {
      offsetMinutes = *numeric;
    } else {
      // Other zone names, the military letters among them, are taken as UTC: RFC 2822
      // itself says they carry no reliable information.
      const std::string_view zone = scan.word();
      if (zone.empty()) return std::nullopt;
      for (const Zone& known : kZones) {
        if (equalsIgnoringCase(zone, known.name)) offsetMinutes = known.hours * 60;
      }
    }
  }
  return secondsSince1970(*year, month, *day, *hour, *minute, *second, offsetMinutes);
}

}  // namespace

std::optional<std::int64_t> parseFeedDate(std::string_view text) {
  if (std::optional<std::int64_t> seconds = parseRfc3339(text)) return seconds;
  return parseRfc822(text);
}

}  // namespace tessaren
