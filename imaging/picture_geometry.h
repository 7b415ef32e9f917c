// Where a picture goes on the monitors for Fit, Fill and Span, and how far a decoder may
// shrink it first. Pure arithmetic: no platform calls, no files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "settings/display_mode.h"

namespace tessaren {

struct Rect {
  std::int32_t left = 0;
  std::int32_t top = 0;
  std::int32_t right = 0;
  std::int32_t bottom = 0;

  std::int32_t width() const { return right - left; }
  std::int32_t height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

struct Monitor {
  Rect bounds;  // virtual-screen pixels: the primary monitor's top-left corner is 0,0
  bool primary = false;
  // The monitor's device interface name, the same from start to start whatever the order
  // of the monitors, but another on another port or dock; empty where the system gives none.
  std::string device{};
  // What identifies the monitor itself, wherever it is plugged in: its EDID's manufacturer,
  // product code and serial number (monitor_identity.h); empty where none can be read or
  // another connected monitor claims the same.
  std::string identity{};
  bool operator==(const Monitor&) const = default;
};

// A part of the picture in picture pixels. Centring a crop gives fractions.
struct SourceRegion {
  double left = 0;
  double top = 0;
  double right = 0;
  double bottom = 0;
  bool operator==(const SourceRegion&) const = default;
};

// One drawn piece: the picture's `source` region resampled to exactly `target`.
struct Placement {
  Rect target;  // canvas pixels
  SourceRegion source;
  bool operator==(const Placement&) const = default;
};

struct CanvasLayout {
  // The monitors' bounding box; the canvas is black where no placement draws.
  std::int32_t width = 0;
  std::int32_t height = 0;
  // Canvas coordinates as a spanned wallpaper shows them: canvas 0,0 is the bounding
  // box's top-left corner.
  std::vector<Placement> placements;
  // A tiled wallpaper starts at the primary monitor's top-left corner instead. Canvas
  // column c then goes to column (c + rollX) mod width, row r to (r + rollY) mod height,
  // which puts each monitor's part where the tiles repeat it on that monitor. 0 when spanned.
  std::int32_t rollX = 0;
  std::int32_t rollY = 0;
};

Rect boundingBox(const std::vector<Monitor>& monitors);

// The largest rectangle of the picture's proportions inside box, centred; at least 1 x 1.
Rect fitInside(std::int32_t pictureWidth, std::int32_t pictureHeight, const Rect& box);

// The centred part of the picture with box's proportions, as large as the picture allows:
// scaled to box, it covers box exactly.
SourceRegion fillRegion(std::int32_t pictureWidth, std::int32_t pictureHeight, const Rect& box);

// The canvas for a picture of the given size on these monitors, for Fit, Fill or Span.
// tiled: the wallpaper is tiled from the primary monitor (older Windows) rather than
// spanned. Without monitors, with an empty picture, or for a mode that shows the picture
// at its own size, the layout is empty (width 0).
CanvasLayout layOut(DisplayMode mode, std::int32_t pictureWidth, std::int32_t pictureHeight,
                    const std::vector<Monitor>& monitors, bool tiled);

// A canvas the size of the monitors' bounding box, without placements: the roll as layOut
// gives it, for a wallpaper drawn from several pictures.
CanvasLayout canvasFor(const std::vector<Monitor>& monitors, bool tiled);

// Where a picture of the given size goes on these monitors (a part of the desktop, when
// each monitor shows its own picture), in the coordinates of canvas (virtual-screen
// pixels; usually every monitor's bounding box). Fit and Fill: on each monitor; Span: once
// across these monitors' own bounding box; Stretch: the whole picture onto each monitor;
// Center: at its own size in each monitor's middle, cut where it is larger. Empty for Tile,
// the desktop's own settings, or an empty picture.
std::vector<Placement> placeOnMonitors(DisplayMode mode, std::int32_t pictureWidth,
                                       std::int32_t pictureHeight,
                                       const std::vector<Monitor>& monitors, const Rect& canvas);

// The size libjpeg decodes to at scale eighths/8: rounded up.
std::int32_t scaledSize(std::int32_t size, int eighths);

// The smallest decoding scale, in eighths (1 to 8), at which every placement's source
// region keeps at least as many pixels as its target in both directions; 8 when the
// picture has to be enlarged anyway.
int decodeScaleEighths(std::int32_t pictureWidth, std::int32_t pictureHeight,
                       const CanvasLayout& layout);

// Beyond one eighth the decoder shrinks no further. How many decoded pixels across and
// down can then be averaged into one while every placement's source region still keeps
// at least as many pixels as its target: 1 and 1 when none can.
struct AveragingSteps {
  std::int32_t across = 1;
  std::int32_t down = 1;
  bool operator==(const AveragingSteps&) const = default;
};
AveragingSteps averagingSteps(std::int32_t pictureWidth, std::int32_t pictureHeight,
                              std::int32_t decodedWidth, std::int32_t decodedHeight,
                              const CanvasLayout& layout);

}  // namespace tessaren
