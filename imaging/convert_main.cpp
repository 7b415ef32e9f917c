// tessaren-convert [OPTIONS] IN OUT.bmp: the program's own conversion from the command
// line, for benchmarks and checks by hand. IN is a JPEG, PNG, WebP or GIF file, told by
// its first bytes. Without options the BMP has the picture's own size, as for Stretch,
// Center and Tile. Options draw it as Fit, Fill or Span:
//   --fit WxH, --fill WxH                      one monitor of that size
//   --monitors "l,t,r,b;l,t,r,b;..." --mode fit|fill|span
//                                              monitors in virtual-screen pixels; the one
//                                              at 0,0 is the primary (else the first)
//   --tiled                                    lay the parts out for a wallpaper tiled
//                                              from the primary monitor (older Windows)
//   --grid                                     IN names saved tiles the way an address
//                                              does ("t_{x:0..3}_{y:0..3}.png"): they are
//                                              put together as one picture, and with
//                                              --assembled FILE.png also saved whole
// Exit status 0 when a complete BMP was written, 2 when it was but the picture was cut
// short, 1 otherwise (with the reason on the standard error stream).
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "imaging/conversion.h"
#include "platform/handles.h"
#include "settings/display_mode.h"
#include "source/tile_grid.h"

namespace {

using tessaren::DisplayMode;
using tessaren::Monitor;

int usage(const char* program) {
  std::fprintf(stderr,
               "usage: %s [--fit WxH | --fill WxH | --monitors \"l,t,r,b;...\" "
               "--mode fit|fill|span] [--tiled] [--grid [--assembled FILE.png]] IN OUT.bmp\n",
               program);
  return 1;
}

bool parseSize(const char* text, Monitor& monitor) {
  int width = 0, height = 0, used = 0;
  if (std::sscanf(text, "%dx%d%n", &width, &height, &used) != 2 || text[used] != '\0' ||
      width <= 0 || height <= 0) {
    return false;
  }
  monitor = {{0, 0, width, height}, true};
  return true;
}

bool parseMonitors(const std::string& text, std::vector<Monitor>& monitors) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = std::min(text.find(';', start), text.size());
    const std::string item = text.substr(start, end - start);
    Monitor m;
    int used = 0;
    if (std::sscanf(item.c_str(), "%d,%d,%d,%d%n", &m.bounds.left, &m.bounds.top, &m.bounds.right,
                    &m.bounds.bottom, &used) != 4 ||
        item[static_cast<std::size_t>(used)] != '\0' || m.bounds.width() <= 0 ||
        m.bounds.height() <= 0) {
      return false;
    }
    monitors.push_back(m);
    start = end + 1;
  }
  bool primary = false;
  for (Monitor& m : monitors) {
    if (m.bounds.left == 0 && m.bounds.top == 0) primary = m.primary = true;
  }
  if (!primary && !monitors.empty()) monitors.front().primary = true;
  return !monitors.empty();
}

}  // namespace

int main(int argc, char** argv) {
  const char* program = argc > 0 ? argv[0] : "tessaren-convert";
  tessaren::ConversionRequest request;
  request.keepCutShort = true;
  std::vector<const char*> files;
  bool grid = false;
  const char* assembled = nullptr;
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const bool hasValue = i + 1 < argc;
    if ((option == "--fit" || option == "--fill") && hasValue) {
      Monitor monitor;
      if (!parseSize(argv[++i], monitor)) return usage(program);
      request.monitors = {monitor};
      request.drawn = option == "--fit" ? DisplayMode::Fit : DisplayMode::Fill;
    } else if (option == "--monitors" && hasValue) {
      if (!parseMonitors(argv[++i], request.monitors)) return usage(program);
    } else if (option == "--mode" && hasValue) {
      const std::string mode = argv[++i];
      if (mode == "fit") {
        request.drawn = DisplayMode::Fit;
      } else if (mode == "fill") {
        request.drawn = DisplayMode::Fill;
      } else if (mode == "span") {
        request.drawn = DisplayMode::Span;
      } else {
        return usage(program);
      }
    } else if (option == "--tiled") {
      request.tiled = true;
    } else if (option == "--grid") {
      grid = true;
    } else if (option == "--assembled" && hasValue) {
      assembled = argv[++i];
    } else if (option.rfind("--", 0) == 0) {
      return usage(program);
    } else {
      files.push_back(argv[i]);
    }
  }
  // --monitors and --mode come together; --tiled needs something to lay out.
  if (files.size() != 2 || request.drawn.has_value() == request.monitors.empty() ||
      (request.tiled && !request.drawn) || (assembled != nullptr && !grid)) {
    return usage(program);
  }

  tessaren::Mosaic mosaic;
  tessaren::OwnedFile kept;
  if (grid) {
    const tessaren::ParsedTileGrid parsed = tessaren::parseTileGrid(files[0]);
    if (!parsed.grid) {
      std::fprintf(stderr, "%s: %s\n", files[0],
                   parsed.failure ? parsed.failure->detail.c_str() : "no {x:A..B} or {y:A..B}");
      return 1;
    }
    mosaic.columns = parsed.grid->columns();
    mosaic.rows = parsed.grid->rows();
    for (int row = 0; row < mosaic.rows; ++row) {
      for (int column = 0; column < mosaic.columns; ++column) {
        mosaic.tiles.push_back(tessaren::tileAddress(files[0], *parsed.grid, column, row));
        mosaic.names.push_back(tessaren::tileName(*parsed.grid, column, row));
      }
    }
    if (assembled != nullptr) {
      kept.reset(std::fopen(assembled, "wb"));
      if (!kept) {
        std::fprintf(stderr, "can't write %s\n", assembled);
        return 1;
      }
      request.assembled = [&kept, assembled](const void* data,
                                             std::size_t size) -> std::optional<tessaren::Failure> {
        if (std::fwrite(data, 1, size, kept.get()) == size) return std::nullopt;
        return tessaren::Failure{tessaren::FailureKind::CannotWrite,
                                 std::string("can't write ") + assembled};
      };
    }
  }

  const tessaren::ConversionResult result =
      grid ? tessaren::convertToBitmap(mosaic, files[1], request)
           : tessaren::convertToBitmap(files[0], files[1], request);
  if (kept && std::fclose(kept.release()) != 0) {
    std::fprintf(stderr, "can't write %s\n", assembled);
    return 1;
  }
  if (result.failure) {
    if (assembled != nullptr) std::remove(assembled);
    std::fprintf(stderr, "%s: %s\n", files[1], result.failure->detail.c_str());
    return 1;
  }
  if (result.cutShort) {
    std::fprintf(stderr, "%s: %s\n", files[0], tessaren::cutShortReason(*result.format).c_str());
  }
  return result.cutShort ? 2 : 0;
}
