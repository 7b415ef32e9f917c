// libFuzzer target over everything that reads outside text in source/: the input is a
// body (page, feed, JSON document) for findPicture, with and without a JSON Pointer, a
// reference resolved against a page's address, and an address template, with its tiles.
// Whatever an address comes out as must be usable as it stands: usablePictureAddress
// leaves it alone and parseHttpUrl splits it. A valid grid has at most kMaxTiles tiles, and
// its tile addresses hold no tile placeholder.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "download/url.h"
#include "source/dated_address.h"
#include "source/find_picture.h"
#include "source/tile_grid.h"

namespace {

const std::string kBase = "https://fuzz.example/dir/page.html?q=1";

void checkUsable(const std::string& address) {
  if (tessaren::usablePictureAddress(address) != address || !tessaren::parseHttpUrl(address))
    std::abort();
}

void checkFound(const tessaren::FindResult& result) {
  if (result.failure) {
    if (result.failure->detail.empty()) std::abort();
    return;
  }
  checkUsable(result.address);
}

constexpr std::time_t kNow = 1717200000;
// Clocks that went forward an hour, 90 minutes before now.
long springZone(std::time_t instant) { return instant < kNow - 5400 ? 3600 : 7200; }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tessaren;
  const std::string input(reinterpret_cast<const char*>(data), size);
  checkFound(findPicture(input, "", kBase, ""));
  if (classifyDocument(input, "") == DocumentKind::Json)
    checkFound(findPicture(input, "", kBase, "/images/0/url"));

  if (size <= 4096) {
    if (const std::optional<std::string> resolved = resolveUrl(kBase, input)) {
      if (const std::optional<std::string> usable = usablePictureAddress(*resolved))
        checkUsable(*usable);
    }
    const DatedAddresses dated = expandDatedAddress(input, kNow, springZone, 7);
    if (dated.failure != checkTemplateSyntax(input) || dated.addresses.size() > 7 ||
        (!dated.failure && dated.addresses.empty()))
      std::abort();
    const ParsedTileGrid tiles = parseTileGrid(input);
    if (tiles.grid) {
      const TileGrid& grid = *tiles.grid;
      if (grid.count() == 0 || grid.count() > kMaxTiles) std::abort();
      if (!dated.failure) {
        const std::string last =
            tileAddress(dated.addresses.front(), grid, grid.columns() - 1, grid.rows() - 1);
        if (last.find("{x:") != std::string::npos || last.find("{y:") != std::string::npos)
          std::abort();
      }
    }
  }
  return 0;
}
