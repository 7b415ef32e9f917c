// Dated addresses. The time is rounded in wall-clock terms, as whoever names the pictures
// sees it ("every 10 minutes of local time"), and each slot is then mapped back to an
// instant, so that a daylight-saving change neither invents the hour the clocks skipped
// nor asks twice for the hour they repeat.
#include "source/dated_address.h"

#include <charconv>
#include <chrono>
#include <cstdint>
#include <string_view>

#include "platform/text.h"
#include "source/tile_grid.h"

namespace tessaren {
namespace {

using Seconds = std::int64_t;
constexpr Seconds kMinute = 60;
constexpr Seconds kHour = 3600;
constexpr Seconds kDay = 86400;
constexpr Seconds kLongestDuration = 31 * kDay;
constexpr std::string_view kFormatLetters = "YymdjHMS%";

struct Placeholder {
  bool local = false;
  std::string format;
};

// literals[i] stands before placeholders[i]; the last literal ends the address.
struct Template {
  std::vector<std::string> literals = std::vector<std::string>(1);
  std::vector<Placeholder> placeholders;
  std::optional<Seconds> step;
  std::optional<Seconds> lag;
};

struct ParsedTemplate {
  Template parts;
  std::optional<Failure> failure;
};

Failure unusable(std::string detail) { return {FailureKind::UnusableAddress, std::move(detail)}; }

Seconds floorDiv(Seconds value, Seconds divisor) {
  return value / divisor - (value % divisor != 0 && (value < 0) != (divisor < 0) ? 1 : 0);
}

// "10m", "2h", "1d": at most 31 days; nullopt for anything else.
std::optional<Seconds> parseDuration(std::string_view text) {
  if (text.size() < 2) return std::nullopt;
  const char unit = text.back();
  const Seconds unitSeconds = unit == 'm' ? kMinute : unit == 'h' ? kHour : unit == 'd' ? kDay : 0;
  Seconds count = 0;
  const char* end = text.data() + text.size() - 1;
  const auto [stop, error] = std::from_chars(text.data(), end, count);
  if (unitSeconds == 0 || error != std::errc() || stop != end || count < 0 ||
      count > kLongestDuration / unitSeconds)
    return std::nullopt;
  return count * unitSeconds;
}

std::optional<Failure> setOption(std::optional<Seconds>& option, std::string_view name,
                                 std::string_view value, const std::string& shown) {
  const std::optional<Seconds> duration = parseDuration(value);
  if (!duration || (name == "step" && *duration == 0))
    return unusable(std::string(name) +
                    (name == "step" ? " must be like 10m" : " must be like 30m") +
                    " (m, h or d, at most 31d) in " + shown);
  if (option && *option != *duration)
    return unusable("two different values for " + std::string(name) + " in the address");
  option = duration;
  return std::nullopt;
}

// The placeholder between the braces, "utc:%Y%m%d|step=1d", into parts.
std::optional<Failure> parsePlaceholder(std::string_view inside, Template& parts) {
  std::string shown(1, '{');  // not "{" + ...: GCC 12 warns wrongly (-Wrestrict) about it
  shown += displaySafe(inside, 60);
  shown += '}';
  if (inside.find('{') != std::string_view::npos) return unusable("unclosed { in the address");
  const std::size_t bar = inside.find('|');
  std::string_view head = inside.substr(0, bar);
  Placeholder placeholder;
  if (head.starts_with("utc:")) {
    head.remove_prefix(4);
  } else if (head.starts_with("local:")) {
    head.remove_prefix(6);
    placeholder.local = true;
  } else {
    return unusable("unknown placeholder " + shown +
                    ": use {utc:...}, {local:...}, {x:A..B} or {y:A..B} (%7B for a { of the "
                    "address)");
  }
  for (std::size_t i = 0; i < head.size(); ++i) {
    if (head[i] != '%') continue;
    if (i + 1 == head.size()) return unusable("% at the end of " + shown);
    if (kFormatLetters.find(head[++i]) == std::string_view::npos)
      return unusable("unknown letter %" + displaySafe(head.substr(i, 1)) + " in " + shown);
  }
  placeholder.format = std::string(head);

  std::string_view options =
      bar == std::string_view::npos ? std::string_view() : inside.substr(bar);
  while (!options.empty()) {
    options.remove_prefix(1);  // the '|'
    const std::string_view option = options.substr(0, options.find('|'));
    options.remove_prefix(option.size());
    const std::size_t equals = option.find('=');
    const std::string_view name = option.substr(0, equals);
    const std::string_view value =
        equals == std::string_view::npos ? std::string_view() : option.substr(equals + 1);
    std::optional<Failure> failure;
    if (name == "step") {
      failure = setOption(parts.step, name, value, shown);
    } else if (name == "lag") {
      failure = setOption(parts.lag, name, value, shown);
    } else {
      failure = unusable("unknown option \"" + displaySafe(option, 40) + "\" in " + shown +
                         ": use step= or lag=");
    }
    if (failure) return failure;
  }
  parts.placeholders.push_back(std::move(placeholder));
  parts.literals.emplace_back();
  return std::nullopt;
}

ParsedTemplate parseTemplate(const std::string& address) {
  ParsedTemplate parsed;
  for (std::size_t at = 0; at < address.size(); ++at) {
    if (address[at] != '{') {
      parsed.parts.literals.back() += address[at];
      continue;
    }
    const std::size_t close = address.find('}', at);
    if (close == std::string::npos) {
      parsed.failure = unusable("unclosed { in the address");
      return parsed;
    }
    // A tile's number stays as it is: the tiles are named once the date is written out.
    if (address.compare(at, 3, "{x:") == 0 || address.compare(at, 3, "{y:") == 0) {
      parsed.parts.literals.back().append(address, at, close - at + 1);
      at = close;
      continue;
    }
    parsed.failure =
        parsePlaceholder(std::string_view(address).substr(at + 1, close - at - 1), parsed.parts);
    if (parsed.failure) return parsed;
    at = close;
  }
  if (!parsed.failure) parsed.failure = parseTileGrid(address).failure;
  return parsed;
}

Seconds defaultStep(const Template& parts) {
  Seconds step = kDay;
  for (const Placeholder& placeholder : parts.placeholders) {
    for (std::size_t i = 0; i + 1 < placeholder.format.size(); ++i) {
      if (placeholder.format[i] != '%') continue;
      const char letter = placeholder.format[++i];
      if (letter == 'M') step = std::min(step, kMinute);
      if (letter == 'H') step = std::min(step, kHour);
    }
  }
  return step;
}

class Clocks {
 public:
  explicit Clocks(const UtcOffsetAt& localOffset) : localOffset_(localOffset) {}

  Seconds offset(Seconds instant, bool local) const {
    return local ? static_cast<Seconds>(localOffset_(static_cast<std::time_t>(instant))) : 0;
  }

  // The latest instant no later than `latest` at which the clock showed `wall`; nullopt
  // when it never did (the clocks jumped over it). The offsets in force a day before,
  // at and a day after cover every zone that changes at most once in two days.
  std::optional<Seconds> instantOf(Seconds wall, bool local, Seconds latest) const {
    if (!local) return wall <= latest ? std::optional<Seconds>(wall) : std::nullopt;
    std::optional<Seconds> found;
    for (Seconds probe : {wall - kDay, wall, wall + kDay}) {
      const Seconds instant = wall - offset(probe, true);
      if (instant <= latest && offset(instant, true) == wall - instant &&
          (!found || instant > *found))
        found = instant;
    }
    return found;
  }

 private:
  const UtcOffsetAt& localOffset_;
};

void appendNumber(std::string& out, long long value, int width) {
  std::string digits = std::to_string(value);
  if (digits.size() < static_cast<std::size_t>(width))
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  out += digits;
}

std::string formatWallTime(const std::string& format, Seconds wall) {
  using namespace std::chrono;
  const Seconds dayNumber = floorDiv(wall, kDay);
  const Seconds secondOfDay = wall - dayNumber * kDay;
  const sys_days day{days{dayNumber}};
  const year_month_day date{day};
  const int year = static_cast<int>(date.year());
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%' || i + 1 == format.size()) {
      out += format[i];
      continue;
    }
    switch (format[++i]) {
      case 'Y':
        appendNumber(out, year, 4);
        break;
      case 'y':
        appendNumber(out, ((year % 100) + 100) % 100, 2);
        break;
      case 'm':
        appendNumber(out, static_cast<unsigned>(date.month()), 2);
        break;
      case 'd':
        appendNumber(out, static_cast<unsigned>(date.day()), 2);
        break;
      case 'j':
        appendNumber(out, (day - sys_days{date.year() / January / 1}).count() + 1, 3);
        break;
      case 'H':
        appendNumber(out, secondOfDay / kHour, 2);
        break;
      case 'M':
        appendNumber(out, secondOfDay % kHour / kMinute, 2);
        break;
      case 'S':  // the steps are whole minutes: for names that carry seconds all the same
        appendNumber(out, secondOfDay % kMinute, 2);
        break;
      default:
        out += format[i];  // "%%"; checkTemplateSyntax refused the other letters
        break;
    }
  }
  return out;
}

}  // namespace

bool isDatedAddress(const std::string& address) {
  const ParsedTemplate parsed = parseTemplate(address);
  return parsed.failure || !parsed.parts.placeholders.empty();
}

std::optional<Failure> checkTemplateSyntax(const std::string& address) {
  return parseTemplate(address).failure;
}

DatedAddresses expandDatedAddress(const std::string& address, std::time_t now,
                                  const UtcOffsetAt& localOffset, int attempts) {
  DatedAddresses result;
  ParsedTemplate parsed = parseTemplate(address);
  if (parsed.failure) {
    result.failure = std::move(parsed.failure);
    return result;
  }
  const Template& parts = parsed.parts;
  if (parts.placeholders.empty()) {
    result.addresses.push_back(address);
    return result;
  }
  const Clocks clocks(localOffset);
  const bool primaryLocal = parts.placeholders.front().local;
  const Seconds step = parts.step.value_or(defaultStep(parts));
  const Seconds due = static_cast<Seconds>(now) - parts.lag.value_or(0);
  const Seconds dueWall = due + clocks.offset(due, primaryLocal);
  Seconds slot = floorDiv(dueWall, step) * step;
  Seconds latest = due;
  // Each attempt is one step earlier on the clock. A time the clocks skipped is no
  // attempt (a day of them at most: the largest jump a zone ever made), and an address
  // the previous step gave already (the repeated hour, or a format coarser than the
  // step) is not asked for twice.
  int tried = 0;
  for (Seconds skipped = 0; tried < attempts && skipped <= kDay / step + 1; slot -= step) {
    const std::optional<Seconds> instant = clocks.instantOf(slot, primaryLocal, latest);
    if (!instant) {
      ++skipped;
      continue;
    }
    ++tried;
    latest = *instant - 1;
    std::string text = parts.literals.front();
    for (std::size_t i = 0; i < parts.placeholders.size(); ++i) {
      const Placeholder& placeholder = parts.placeholders[i];
      text +=
          formatWallTime(placeholder.format, *instant + clocks.offset(*instant, placeholder.local));
      text += parts.literals[i + 1];
    }
    if (result.addresses.empty() || result.addresses.back() != text)
      result.addresses.push_back(std::move(text));
  }
  return result;
}

}  // namespace tessaren
