// A whole update under Wine on two monitors (an X server whose dummy driver has two heads,
// tests/support/with_two_monitors.sh): the second monitor has a picture of its own, and
// each monitor's rectangle of the wallpaper BMP must hold exactly what its picture drawn alone on
// that monitor gives. The monitors, their names, the wallpaper call and the files are the
// platform's; only the downloads are scripted.
#include <gtest/gtest.h>
#include <windows.h>

#include <filesystem>

#include "imaging/conversion.h"
#include "tests/imaging/decoding.h"
#include "tests/support/memory_store.h"
#include "tests/support/test_pictures.h"
#include "tests/support/update_doubles.h"
#include "update/monitor_sources.h"
#include "update/update_job.h"

namespace tessaren {
namespace {

namespace fs = std::filesystem;

std::string text(const test::Bytes& bytes) { return std::string(bytes.begin(), bytes.end()); }

TEST(TwoMonitors, EachMonitorShowsItsOwnPictureInOneWallpaper) {
  DesktopApi& desktop = platformDesktop();
  const std::vector<Monitor> monitors = desktop.monitors();
  ASSERT_EQ(monitors.size(), 2u) << "run through tests/support/with_two_monitors.sh";
  for (std::size_t i = 0; i < monitors.size(); ++i)
    std::printf("monitor %s, key name \"%s\"\n", monitorLabel(i, monitors).c_str(),
                monitorKeyName(monitors[i]).c_str());
  ASSERT_NE(monitorKeyName(monitors[0]), monitorKeyName(monitors[1]));

  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder =
      std::string(temp) + "tessaren-monitors-" + std::to_string(GetCurrentProcessId()) + "\\";
  fs::remove_all(folder);
  const test::Bytes chart =
      test::encodeJpeg({.width = 1600, .height = 900}, test::weatherPixels(1600, 900));
  const test::Bytes radar =
      test::encodePng({.width = 700, .height = 1000}, test::patternPixels(700, 1000, 3));
  test::ScriptedFetcher fetcher;
  fetcher.answers["http://pictures.example/chart.jpg"] = {text(chart)};
  fetcher.answers["http://radar.example/radar.png"] = {text(radar), {}, "image/png"};
  test::MemoryStore store;
  CommitGate commits;
  UpdateServices services{fetcher, platformFiles(), desktop, store, commits};
  UpdateRequest request;
  request.id = 1;
  request.settings = Settings{"http://pictures.example/chart.jpg", folder, 60, DisplayMode::Fill};
  request.settings.monitorSources[monitorKeyName(monitors[1])] = {"http://radar.example/radar.png",
                                                                  "", DisplayMode::Fit};
  CancelToken cancel;
  const UpdateOutcome outcome = runUpdate(request, services, cancel);
  ASSERT_EQ(outcome.kind, OutcomeKind::Updated) << outcome.failure->detail;
  ASSERT_EQ(outcome.sources.size(), 2u);
  EXPECT_EQ(outcome.sources[1].shownOn, "monitor 2");

  // Each picture alone on its monitor, drawn as one picture is.
  const std::string kept[] = {folder + "tessaren.jpg",
                              folder + monitorPictureFileName(monitorKeyName(monitors[1]))};
  const DisplayMode modes[] = {DisplayMode::Fill, DisplayMode::Fit};
  const test::Bitmap drawn = test::readBitmap(platformDesktop().wallpaper());
  const CanvasLayout canvas = canvasFor(monitors, !desktop.spanSupported());
  ASSERT_EQ(drawn.width, canvas.width);
  const Rect box = boundingBox(monitors);
  for (std::size_t i = 0; i < 2; ++i) {
    SCOPED_TRACE(monitorLabel(i, monitors));
    ConversionRequest alone;
    alone.drawn = modes[i];
    alone.monitors = {monitors[i]};
    const std::string reference = folder + "alone.bmp";
    ASSERT_FALSE(convertToBitmap(kept[i], reference, alone).failure);
    const test::Bitmap expected = test::readBitmap(reference);
    const Rect& r = monitors[i].bounds;
    ASSERT_EQ(expected.width, r.width());
    int wrong = 0;
    for (int y = 0; y < r.height(); ++y) {
      for (int x = 0; x < r.width(); ++x) {
        const int fx = (r.left - box.left + x + canvas.rollX) % canvas.width;
        const int fy = (r.top - box.top + y + canvas.rollY) % canvas.height;
        if (!std::equal(expected.at(x, y), expected.at(x, y) + 3, drawn.at(fx, fy))) ++wrong;
      }
    }
    EXPECT_EQ(wrong, 0);
  }
  fs::remove_all(folder);
}

}  // namespace
}  // namespace tessaren
