// Pictures published as a grid of tiles: "{x:A..B}" and "{y:A..B}" in an address stand for
// the tile's column and row numbers, A to B each way, so that one address names every
// tile of the picture.
//
//   https://sat.example/{utc:%Y/%m/%d/%H%M%S|step=10m|lag=20m}_{x:0..3}_{y:0..3}.png
//
// A number written with a leading zero ("{x:00..15}") gives every number that many digits.
// Each of x and y may stand more than once, always with the same range; either may be left
// out (one row or one column). The dated placeholders are written out first; the tile
// numbers then name each tile of the address each step gives.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/failure.h"

namespace tessaren {

// The most tiles one picture may have: each is a request of its own.
inline constexpr std::size_t kMaxTiles = 400;

struct TileGrid {
  int firstX = 0, lastX = 0, firstY = 0, lastY = 0;
  int widthX = 0, widthY = 0;  // digits to pad to; 0: none
  int columns() const { return lastX - firstX + 1; }
  int rows() const { return lastY - firstY + 1; }
  std::size_t count() const { return std::size_t(columns()) * std::size_t(rows()); }
  bool operator==(const TileGrid&) const = default;
};

struct ParsedTileGrid {
  std::optional<TileGrid> grid;    // nothing: the address names one picture
  std::optional<Failure> failure;  // UnusableAddress: "{x:3..1} counts down" and the like
};

// The grid an address names; braces that are no tile placeholder are left to the dated
// address's rules.
ParsedTileGrid parseTileGrid(const std::string& address);

// The address of the tile in the given column and row (counted from 0): each tile
// placeholder written out with its number.
std::string tileAddress(const std::string& address, const TileGrid& grid, int column, int row);

// "tile x=2, y=1": how reasons name a tile, by the numbers in its address.
std::string tileName(const TileGrid& grid, int column, int row);

}  // namespace tessaren
