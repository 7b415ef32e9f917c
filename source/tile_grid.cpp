// The tile placeholders of an address.
#include "source/tile_grid.h"

#include <charconv>
#include <string_view>

#include "platform/text.h"

namespace tessaren {
namespace {

// Tile numbers beyond this are no grid anyone publishes, and keep the arithmetic small.
constexpr int kLargestNumber = 99999;

struct Range {
  int first = 0, last = 0, width = 0;
  bool operator==(const Range&) const = default;
};

Failure unusable(std::string detail) { return {FailureKind::UnusableAddress, std::move(detail)}; }

std::optional<int> number(std::string_view text) {
  int value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || text.size() > 5 || error != std::errc() || end != text.data() + text.size() ||
      value < 0 || value > kLargestNumber)
    return std::nullopt;
  return value;
}

// "0..3" into a range.
std::optional<Range> parseRange(std::string_view text) {
  const std::size_t dots = text.find("..");
  if (dots == std::string_view::npos) return std::nullopt;
  const std::string_view first = text.substr(0, dots), last = text.substr(dots + 2);
  const std::optional<int> from = number(first), to = number(last);
  if (!from || !to) return std::nullopt;
  return Range{*from, *to, first.size() > 1 && first[0] == '0' ? int(first.size()) : 0};
}

// Calls each(letter, inside, start, end) for every "{x:...}" and "{y:...}" of the address.
template <typename Each>
void forEachPlaceholder(const std::string& address, Each each) {
  for (std::size_t at = address.find('{'); at != std::string::npos; at = address.find('{', at)) {
    const std::size_t close = address.find('}', at);
    if (close == std::string::npos) return;
    if (close - at >= 3 && (address[at + 1] == 'x' || address[at + 1] == 'y') &&
        address[at + 2] == ':')
      each(address[at + 1], std::string_view(address).substr(at + 3, close - at - 3), at, close);
    at = close;
  }
}

std::string padded(int value, int width) {
  std::string digits = std::to_string(value);
  if (digits.size() < std::size_t(width)) digits.insert(0, std::size_t(width) - digits.size(), '0');
  return digits;
}

}  // namespace

ParsedTileGrid parseTileGrid(const std::string& address) {
  ParsedTileGrid parsed;
  std::optional<Range> ranges[2];
  forEachPlaceholder(address, [&](char letter, std::string_view inside, std::size_t, std::size_t) {
    if (parsed.failure) return;
    const std::string shown = std::string("{") + letter + ":" + displaySafe(inside, 40) + "}";
    const std::optional<Range> range = parseRange(inside);
    std::optional<Range>& kept = ranges[letter == 'y'];
    if (!range) {
      parsed.failure = unusable(shown + " must be like {" + letter + ":0..3}");
    } else if (range->first > range->last) {
      parsed.failure = unusable(shown + " counts down: write the smaller number first");
    } else if (kept && *kept != *range) {
      parsed.failure =
          unusable(std::string("two different ranges for ") + letter + " in the address");
    } else {
      kept = range;
    }
  });
  if (parsed.failure || (!ranges[0] && !ranges[1])) return parsed;
  TileGrid grid;
  if (ranges[0])
    grid.firstX = ranges[0]->first, grid.lastX = ranges[0]->last, grid.widthX = ranges[0]->width;
  if (ranges[1])
    grid.firstY = ranges[1]->first, grid.lastY = ranges[1]->last, grid.widthY = ranges[1]->width;
  if (grid.count() > kMaxTiles) {
    parsed.failure = unusable(std::to_string(grid.columns()) + " x " + std::to_string(grid.rows()) +
                              " tiles is more than " + std::to_string(kMaxTiles));
    return parsed;
  }
  parsed.grid = grid;
  return parsed;
}

std::string tileAddress(const std::string& address, const TileGrid& grid, int column, int row) {
  std::string out;
  std::size_t copied = 0;
  forEachPlaceholder(address,
                     [&](char letter, std::string_view, std::size_t start, std::size_t end) {
                       out.append(address, copied, start - copied);
                       out += letter == 'x' ? padded(grid.firstX + column, grid.widthX)
                                            : padded(grid.firstY + row, grid.widthY);
                       copied = end + 1;
                     });
  out.append(address, copied);
  return out;
}

std::string tileName(const TileGrid& grid, int column, int row) {
  return "tile x=" + std::to_string(grid.firstX + column) +
         ", y=" + std::to_string(grid.firstY + row);
}

}  // namespace tessaren
