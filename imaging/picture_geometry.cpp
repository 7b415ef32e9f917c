// Fit, Fill and Span rectangles. Products of two sides are taken in 64 bits: sides reach
// 65,500 pixels and monitors' coordinates may be negative.
#include "imaging/picture_geometry.h"

#include <algorithm>

#include "settings/display_mode.h"

namespace tessaren {
namespace {

// a * b / c rounded to the nearest integer, for non-negative a, b and positive c.
std::int32_t scaleRounded(std::int64_t a, std::int64_t b, std::int64_t c) {
  return static_cast<std::int32_t>((2 * a * b + c) / (2 * c));
}

// The remainder of value / size in [0, size).
std::int32_t wrap(std::int64_t value, std::int32_t size) {
  const std::int64_t remainder = value % size;
  return static_cast<std::int32_t>(remainder < 0 ? remainder + size : remainder);
}

Rect moved(const Rect& rect, std::int32_t dx, std::int32_t dy) {
  return {rect.left + dx, rect.top + dy, rect.right + dx, rect.bottom + dy};
}

}  // namespace

Rect boundingBox(const std::vector<Monitor>& monitors) {
  if (monitors.empty()) return {};
  Rect box = monitors.front().bounds;
  for (const Monitor& monitor : monitors) {
    box.left = std::min(box.left, monitor.bounds.left);
    box.top = std::min(box.top, monitor.bounds.top);
    box.right = std::max(box.right, monitor.bounds.right);
    box.bottom = std::max(box.bottom, monitor.bounds.bottom);
  }
  return box;
}

Rect fitInside(std::int32_t pictureWidth, std::int32_t pictureHeight, const Rect& box) {
  const std::int64_t boxWidth = box.width(), boxHeight = box.height();
  std::int32_t width, height;
  if (std::int64_t{pictureWidth} * boxHeight <= std::int64_t{pictureHeight} * boxWidth) {
    height = box.height();  // the picture is the taller of the two: full height
    width = std::clamp(scaleRounded(pictureWidth, boxHeight, pictureHeight), 1, box.width());
  } else {
    width = box.width();
    height = std::clamp(scaleRounded(pictureHeight, boxWidth, pictureWidth), 1, box.height());
  }
  const std::int32_t left = box.left + (box.width() - width) / 2;
  const std::int32_t top = box.top + (box.height() - height) / 2;
  return {left, top, left + width, top + height};
}

SourceRegion fillRegion(std::int32_t pictureWidth, std::int32_t pictureHeight, const Rect& box) {
  const double width = pictureWidth, height = pictureHeight;
  if (std::int64_t{pictureWidth} * box.height() >= std::int64_t{pictureHeight} * box.width()) {
    const double used = height * box.width() / box.height();  // the picture is wider
    return {(width - used) / 2, 0, (width + used) / 2, height};
  }
  const double used = width * box.height() / box.width();
  return {0, (height - used) / 2, width, (height + used) / 2};
}

CanvasLayout canvasFor(const std::vector<Monitor>& monitors, bool tiled) {
  CanvasLayout layout;
  const Rect box = boundingBox(monitors);
  if (box.width() <= 0 || box.height() <= 0) return layout;
  layout.width = box.width();
  layout.height = box.height();
  if (tiled) {
    // The tiles start at the primary monitor's corner, which is 0,0 unless a monitor
    // list says otherwise.
    Rect origin{};
    for (const Monitor& monitor : monitors) {
      if (monitor.primary) {
        origin = monitor.bounds;
        break;
      }
    }
    layout.rollX = wrap(std::int64_t{box.left} - origin.left, layout.width);
    layout.rollY = wrap(std::int64_t{box.top} - origin.top, layout.height);
  }
  return layout;
}

std::vector<Placement> placeOnMonitors(DisplayMode mode, std::int32_t pictureWidth,
                                       std::int32_t pictureHeight,
                                       const std::vector<Monitor>& monitors, const Rect& canvas) {
  std::vector<Placement> placements;
  if (pictureWidth <= 0 || pictureHeight <= 0) return placements;
  const SourceRegion whole{0, 0, static_cast<double>(pictureWidth),
                           static_cast<double>(pictureHeight)};
  if (mode == DisplayMode::Span) {
    const Rect area = moved(boundingBox(monitors), -canvas.left, -canvas.top);
    if (area.width() > 0 && area.height() > 0)
      placements.push_back({area, fillRegion(pictureWidth, pictureHeight, area)});
    return placements;
  }
  for (const Monitor& monitor : monitors) {
    const Rect area = moved(monitor.bounds, -canvas.left, -canvas.top);
    if (area.width() <= 0 || area.height() <= 0) continue;
    switch (mode) {
      case DisplayMode::Fit:
        placements.push_back({fitInside(pictureWidth, pictureHeight, area), whole});
        break;
      case DisplayMode::Fill:
        placements.push_back({area, fillRegion(pictureWidth, pictureHeight, area)});
        break;
      case DisplayMode::Stretch:
        placements.push_back({area, whole});
        break;
      case DisplayMode::Center: {
        // The picture's corner, which lies outside the monitor where the picture is larger.
        const std::int32_t left = area.left + (area.width() - pictureWidth) / 2;
        const std::int32_t top = area.top + (area.height() - pictureHeight) / 2;
        const Rect shown{std::max(area.left, left), std::max(area.top, top),
                         std::min(area.right, left + pictureWidth),
                         std::min(area.bottom, top + pictureHeight)};
        placements.push_back({shown,
                              {double(shown.left - left), double(shown.top - top),
                               double(shown.right - left), double(shown.bottom - top)}});
        break;
      }
      default:
        return {};
    }
  }
  return placements;
}

CanvasLayout layOut(DisplayMode mode, std::int32_t pictureWidth, std::int32_t pictureHeight,
                    const std::vector<Monitor>& monitors, bool tiled) {
  if (!drawnForTheMonitors(mode) || pictureWidth <= 0 || pictureHeight <= 0) return {};
  CanvasLayout layout = canvasFor(monitors, tiled);
  if (layout.width <= 0) return layout;
  layout.placements =
      placeOnMonitors(mode, pictureWidth, pictureHeight, monitors, boundingBox(monitors));
  return layout;
}

std::int32_t scaledSize(std::int32_t size, int eighths) {
  return static_cast<std::int32_t>((std::int64_t{size} * eighths + 7) / 8);
}

int decodeScaleEighths(std::int32_t pictureWidth, std::int32_t pictureHeight,
                       const CanvasLayout& layout) {
  for (int eighths = 1; eighths < 8; ++eighths) {
    const double width = scaledSize(pictureWidth, eighths);
    const double height = scaledSize(pictureHeight, eighths);
    bool enough = true;
    for (const Placement& p : layout.placements) {
      // Decoded pixels inside the source region against the target's pixels; the small
      // allowance keeps exact matches from failing on rounding.
      const double across = (p.source.right - p.source.left) * width / pictureWidth;
      const double down = (p.source.bottom - p.source.top) * height / pictureHeight;
      if (across + 1e-6 < p.target.width() || down + 1e-6 < p.target.height()) {
        enough = false;
        break;
      }
    }
    if (enough) return eighths;
  }
  return 8;
}

AveragingSteps averagingSteps(std::int32_t pictureWidth, std::int32_t pictureHeight,
                              std::int32_t decodedWidth, std::int32_t decodedHeight,
                              const CanvasLayout& layout) {
  if (layout.placements.empty() || pictureWidth <= 0 || pictureHeight <= 0) return {};
  double across = 1e9, down = 1e9;
  for (const Placement& p : layout.placements) {
    const double columns = (p.source.right - p.source.left) * decodedWidth / pictureWidth;
    const double rows = (p.source.bottom - p.source.top) * decodedHeight / pictureHeight;
    across = std::min(across, columns / p.target.width());
    down = std::min(down, rows / p.target.height());
  }
  // The small allowance keeps exact multiples from losing a step to rounding.
  return {std::max(1, static_cast<std::int32_t>(across + 1e-6)),
          std::max(1, static_cast<std::int32_t>(down + 1e-6))};
}

}  // namespace tessaren
