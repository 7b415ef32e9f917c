// Fit, Fill and Span layouts worked out by hand for monitor layouts a desktop can have:
// monitors left of and above the primary one, different sizes, gaps, and pictures from
// one pixel to 1 x 10,000.
#include "imaging/picture_geometry.h"

#include <gtest/gtest.h>

#include "settings/display_mode.h"

namespace tessaren {

// How gtest shows a placement that differs (found next to the type).
static void PrintTo(const Placement& p, std::ostream* out) {
  *out << "target " << p.target.left << "," << p.target.top << "," << p.target.right << ","
       << p.target.bottom << " source " << p.source.left << "," << p.source.top << ","
       << p.source.right << "," << p.source.bottom;
}

namespace {

const Monitor kFullHd{{0, 0, 1920, 1080}, true};

TEST(PictureGeometry, LayoutsPerModeAndMonitorArrangement) {
  const Monitor leftOfPrimary{{-1280, 0, 0, 1024}, false};
  const Monitor abovePrimary{{-320, -1440, 2240, 0}, false};
  const Monitor diagonal{{1920, 1080, 3840, 2160}, false};
  struct Case {
    const char* name;
    DisplayMode mode;
    int width, height;  // the picture
    std::vector<Monitor> monitors;
    bool tiled;
    int canvasWidth, canvasHeight;
    std::vector<Placement> placements;
    int rollX, rollY;
    int eighths;
  } cases[] = {
      {"satellite picture fitted",
       DisplayMode::Fit,
       10848,
       10848,
       {kFullHd},
       false,
       1920,
       1080,
       {{{420, 0, 1500, 1080}, {0, 0, 10848, 10848}}},
       0,
       0,
       1},
      {"satellite picture filled: 1/4 leaves 2712 columns for 1920",
       DisplayMode::Fill,
       10848,
       10848,
       {kFullHd},
       true,
       1920,
       1080,
       {{{0, 0, 1920, 1080}, {0, 2373, 10848, 8475}}},
       0,
       0,
       2},
      {"exactly twice the screen decodes at half size",
       DisplayMode::Fit,
       3840,
       2160,
       {kFullHd},
       false,
       1920,
       1080,
       {{{0, 0, 1920, 1080}, {0, 0, 3840, 2160}}},
       0,
       0,
       4},
      {"second monitor left of the primary, spanned",
       DisplayMode::Fit,
       4000,
       1000,
       {kFullHd, leftOfPrimary},
       false,
       3200,
       1080,
       {{{1280, 300, 3200, 780}, {0, 0, 4000, 1000}}, {{0, 352, 1280, 672}, {0, 0, 4000, 1000}}},
       0,
       0,
       4},
      {"second monitor left of the primary, tiled from the primary's corner",
       DisplayMode::Fit,
       4000,
       1000,
       {leftOfPrimary, kFullHd},
       true,
       3200,
       1080,
       {{{0, 352, 1280, 672}, {0, 0, 4000, 1000}}, {{1280, 300, 3200, 780}, {0, 0, 4000, 1000}}},
       1920,
       0,
       4},
      {"larger monitor above, small picture enlarged across both",
       DisplayMode::Span,
       1000,
       1000,
       {kFullHd, abovePrimary},
       true,
       2560,
       2520,
       {{{0, 0, 2560, 2520}, {0, 7.8125, 1000, 992.1875}}},
       2240,
       1080,
       8},
      {"each monitor filled, with a gap between them",
       DisplayMode::Fill,
       1600,
       1200,
       {kFullHd, diagonal},
       false,
       3840,
       2160,
       {{{0, 0, 1920, 1080}, {0, 150, 1600, 1050}},
        {{1920, 1080, 3840, 2160}, {0, 150, 1600, 1050}}},
       0,
       0,
       8},
      {"one pixel fitted",
       DisplayMode::Fit,
       1,
       1,
       {kFullHd},
       false,
       1920,
       1080,
       {{{420, 0, 1500, 1080}, {0, 0, 1, 1}}},
       0,
       0,
       8},
      {"one pixel filled",
       DisplayMode::Fill,
       1,
       1,
       {kFullHd},
       false,
       1920,
       1080,
       {{{0, 0, 1920, 1080}, {0, 0.21875, 1, 0.78125}}},
       0,
       0,
       8},
      {"1 x 10000 fitted keeps one column",
       DisplayMode::Fit,
       1,
       10000,
       {kFullHd},
       false,
       1920,
       1080,
       {{{959, 0, 960, 1080}, {0, 0, 1, 10000}}},
       0,
       0,
       1},
      {"10000 x 1 fitted keeps one row",
       DisplayMode::Fit,
       10000,
       1,
       {kFullHd},
       false,
       1920,
       1080,
       {{{0, 539, 1920, 540}, {0, 0, 10000, 1}}},
       0,
       0,
       2},
      {"1 x 10000 filled crops the middle",
       DisplayMode::Fill,
       1,
       10000,
       {kFullHd},
       false,
       1920,
       1080,
       {{{0, 0, 1920, 1080}, {0, 4999.71875, 1, 5000.28125}}},
       0,
       0,
       8},
      {"no monitors", DisplayMode::Fit, 100, 100, {}, false, 0, 0, {}, 0, 0, 1},
      {"empty picture", DisplayMode::Fill, 0, 100, {kFullHd}, false, 0, 0, {}, 0, 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CanvasLayout layout = layOut(c.mode, c.width, c.height, c.monitors, c.tiled);
    EXPECT_EQ(layout.width, c.canvasWidth);
    EXPECT_EQ(layout.height, c.canvasHeight);
    EXPECT_EQ(layout.placements, c.placements);
    EXPECT_EQ(layout.rollX, c.rollX);
    EXPECT_EQ(layout.rollY, c.rollY);
    EXPECT_EQ(decodeScaleEighths(c.width, c.height, layout), c.eighths);
  }
}

TEST(PictureGeometry, ScaledSizesRoundUpLikeTheDecoder) {
  struct Case {
    int size, eighths, expected;
  } cases[] = {{10848, 1, 1356},  {1, 1, 1},         {9, 1, 2}, {3840, 3, 1440},
               {65500, 7, 57313}, {65500, 8, 65500}, {0, 4, 0}};
  for (const Case& c : cases) EXPECT_EQ(scaledSize(c.size, c.eighths), c.expected) << c.size;
}

// Past one eighth, whole blocks of decoded pixels are averaged, as far as the most
// demanding monitor allows.
TEST(PictureGeometry, AveragingStepsBeyondTheDecodersScaling) {
  const std::vector<Monitor> two = {kFullHd, {{1920, 0, 2560, 480}, false}};
  struct Case {
    const char* name;
    DisplayMode mode;
    int width, height;
    std::vector<Monitor> monitors;
    AveragingSteps steps;
  } cases[] = {
      {"5.6 times the screen: the decoder's eighth is enough",
       DisplayMode::Fit,
       10848,
       10848,
       {kFullHd},
       {1, 1}},
      {"largest JPEG on one monitor", DisplayMode::Fit, 65500, 65500, {kFullHd}, {7, 7}},
      {"wide panorama fitted", DisplayMode::Fit, 65500, 2000, {kFullHd}, {4, 4}},
      {"the larger of two monitors decides", DisplayMode::Fill, 40000, 30000, two, {2, 2}},
      {"the smaller monitor alone would allow more",
       DisplayMode::Fill,
       40000,
       30000,
       {{{1920, 0, 2560, 480}, true}},
       {7, 7}},
      {"enlarged", DisplayMode::Span, 300, 200, two, {1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const CanvasLayout layout = layOut(c.mode, c.width, c.height, c.monitors, false);
    const int eighths = decodeScaleEighths(c.width, c.height, layout);
    EXPECT_EQ(averagingSteps(c.width, c.height, scaledSize(c.width, eighths),
                             scaledSize(c.height, eighths), layout),
              c.steps);
  }
}

// A monitor with its own picture is laid out on the whole desktop's canvas: its part
// lands at the monitor's place in the bounding box of every monitor, whatever the mode.
TEST(PictureGeometry, PlacementsOfOnePictureOnSomeOfTheMonitors) {
  const Monitor right{{1920, -420, 3000, 1500}, false};  // portrait, higher than the primary
  const Rect canvas{0, -420, 3000, 1500};                // both monitors' bounding box
  struct Case {
    const char* name;
    DisplayMode mode;
    int width, height;
    std::vector<Monitor> monitors;
    std::vector<Placement> placements;
  } cases[] = {
      {"fitted on the portrait monitor",
       DisplayMode::Fit,
       2000,
       1000,
       {right},
       {{{1920, 690, 3000, 1230}, {0, 0, 2000, 1000}}}},
      {"filled on the primary, moved down by the taller monitor",
       DisplayMode::Fill,
       1920,
       1920,
       {kFullHd},
       {{{0, 420, 1920, 1500}, {0, 420, 1920, 1500}}}},
      {"stretched: the whole picture to the whole monitor",
       DisplayMode::Stretch,
       640,
       480,
       {right},
       {{{1920, 0, 3000, 1920}, {0, 0, 640, 480}}}},
      {"centred, smaller than the monitor: at its own size",
       DisplayMode::Center,
       100,
       50,
       {right},
       {{{2410, 935, 2510, 985}, {0, 0, 100, 50}}}},
      {"centred, larger than the monitor: its middle, cut",
       DisplayMode::Center,
       1300,
       2000,
       {right},
       {{{1920, 0, 3000, 1920}, {110, 40, 1190, 1960}}}},
      {"spanned over the monitors that show it only",
       DisplayMode::Span,
       1000,
       1000,
       {right},
       {{{1920, 0, 3000, 1920}, {218.75, 0, 781.25, 1000}}}},
      {"tiled is drawn by the desktop, not here", DisplayMode::Tile, 100, 100, {right}, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(placeOnMonitors(c.mode, c.width, c.height, c.monitors, canvas), c.placements);
  }
  // The canvas of a set of pictures is the one a single picture's Fill would have.
  const std::vector<Monitor> both = {kFullHd, right};
  for (const bool tiled : {false, true}) {
    const CanvasLayout single = layOut(DisplayMode::Fill, 10, 10, both, tiled);
    const CanvasLayout set = canvasFor(both, tiled);
    EXPECT_EQ(set.width, single.width);
    EXPECT_EQ(set.height, single.height);
    EXPECT_EQ(set.rollX, single.rollX);
    EXPECT_EQ(set.rollY, single.rollY);
    EXPECT_TRUE(set.placements.empty());
  }
}

}  // namespace
}  // namespace tessaren
