// Which picture each monitor shows: the names a monitor's values are kept under, the words
// for a monitor, and the pictures one update fetches for every arrangement of own sources.
#include "update/monitor_sources.h"

#include <gtest/gtest.h>

namespace tessaren {
namespace {

const Monitor kPrimary{{0, 0, 1920, 1080}, true, "\\\\?\\DISPLAY#GSM5B08#5&1f2e#{e6f07b5f}"};
const Monitor kPortrait{
    {1920, -420, 3000, 1500}, false, "\\\\?\\DISPLAY#DEL40F5#5&3a4b#{e6f07b5f}"};
const Monitor kWineLeft{{-1280, 0, 0, 1024}, false, ""};

TEST(MonitorSources, NamesThatOutliveTheOrderAndWordsForPeople) {
  EXPECT_EQ(monitorKeyName(kPortrait), "//?/DISPLAY#DEL40F5#5&3a4b#{e6f07b5f}");
  EXPECT_EQ(monitorKeyName(kWineLeft), "at -1280,0 1280x1024");

  const Monitor below{{0, 1080, 1920, 2160}, false};
  const Monitor aboveLeft{{-800, -600, 0, 0}, false};
  const Monitor overlapping{{100, 100, 900, 700}, false};
  const std::vector<Monitor> monitors = {kPrimary, kPortrait, kWineLeft,
                                         below,    aboveLeft, overlapping};
  const char* const labels[] = {"1: primary, 1920 x 1080",  "2: right, 1080 x 1920",
                                "3: left, 1280 x 1024",     "4: below, 1920 x 1080",
                                "5: above left, 800 x 600", "6: 800 x 600"};
  for (std::size_t i = 0; i < monitors.size(); ++i) EXPECT_EQ(monitorLabel(i, monitors), labels[i]);
  // The primary monitor need not be the first.
  EXPECT_EQ(monitorLabel(0, {kPortrait, kPrimary}), "1: right, 1080 x 1920");

  EXPECT_EQ(monitorsWord({1}), "monitor 2");
  EXPECT_EQ(monitorsWord({0, 2}), "monitors 1 and 3");
  EXPECT_EQ(monitorsWord({0, 1, 3}), "monitors 1, 2 and 4");
}

TEST(MonitorSources, PicturesOneUpdateFetches) {
  const std::vector<Monitor> three = {kPrimary, kPortrait, kWineLeft};
  const std::string portrait = monitorKeyName(kPortrait), left = monitorKeyName(kWineLeft);
  const std::string radar = "https://radar.example/r.png";
  struct Case {
    const char* name;
    DisplayMode common;
    std::map<std::string, MonitorSource> own;
    std::vector<PictureSource> pictures;
  } cases[] = {
      {"no monitor has its own: the one picture as always", DisplayMode::Fit, {}, {}},
      {"only a monitor that is not connected has its own",
       DisplayMode::Fit,
       {{"//?/DISPLAY#OLD", {radar, "", DisplayMode::Fit}}},
       {}},
      {"one monitor of three",
       DisplayMode::Span,
       {{portrait, {radar, "", DisplayMode::Fit}}},
       {{"http://common/",
         "",
         true,
         "tessaren.jpg",
         {},
         {0, 2},
         {DisplayMode::Span, DisplayMode::Span}},
        {radar, "", false, monitorPictureFileName(portrait), {portrait}, {1}, {DisplayMode::Fit}}}},
      {"two monitors share one address, each in its own mode; the common one shows nowhere",
       DisplayMode::Tile,
       {{portrait, {radar, "", DisplayMode::Fit}},
        {left, {radar, "", DisplayMode::Stretch}},
        {monitorKeyName(kPrimary), {"https://sat.example/feed", "/0", DisplayMode::Center}}},
       {{"https://sat.example/feed",
         "/0",
         false,
         monitorPictureFileName(monitorKeyName(kPrimary)),
         {monitorKeyName(kPrimary)},
         {0},
         {DisplayMode::Center}},
        {radar,
         "",
         false,
         monitorPictureFileName(portrait),
         {portrait, left},
         {1, 2},
         {DisplayMode::Fit, DisplayMode::Stretch}}}},
      {"an own source at the common address shares its download; Tile is drawn centred",
       DisplayMode::Tile,
       {{portrait, {"http://common/", "", DisplayMode::Fill}}},
       {{"http://common/",
         "",
         true,
         "tessaren.jpg",
         {},
         {0, 1, 2},
         {DisplayMode::Center, DisplayMode::Fill, DisplayMode::Center}}}},
      {"another Picture at is another picture",
       DisplayMode::DesktopSettings,
       {{left, {"http://common/", "/a", DisplayMode::Fit}}},
       {{"http://common/",
         "",
         true,
         "tessaren.jpg",
         {},
         {0, 1},
         {DisplayMode::Fill, DisplayMode::Fill}},
        {"http://common/",
         "/a",
         false,
         monitorPictureFileName(left),
         {left},
         {2},
         {DisplayMode::Fit}}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Settings settings;
    settings.url = "http://common/";
    settings.display = c.common;
    settings.monitorSources = c.own;
    EXPECT_EQ(picturesFor(settings, three), c.pictures);
  }
  // Each monitor's name gives its picture file a name of its own.
  EXPECT_NE(monitorPictureFileName(portrait), monitorPictureFileName(left));

  // Save picture as... takes the picture of the monitor the menu opened on.
  Settings settings;
  settings.url = "http://common/";
  settings.monitorSources[portrait] = {radar, "", DisplayMode::Fit};
  EXPECT_EQ(pictureFileAt(settings, three, 2000, -400), monitorPictureFileName(portrait));
  EXPECT_EQ(pictureFileAt(settings, three, 1919, 0), "tessaren.jpg");
  EXPECT_EQ(pictureFileAt(settings, three, -5000, 0), "tessaren.jpg") << "off every monitor";
}

// A monitor known by its EDID keeps its own picture on another port or dock; a source kept
// under its device interface name before goes on working, and moves to the EDID's name
// when Properties saves it; an unplugged monitor's stays.
TEST(MonitorSources, AMonitorKeepsItsPictureOnAnotherPortOrDock) {
  const Monitor desk{
      {1920, 0, 3840, 1080}, false, "\\\\?\\DISPLAY#DEL40F5#5&3a4b#{e6f}", "DEL 40F5 CN0F1"};
  Monitor dock = desk;
  dock.device = "\\\\?\\DISPLAY#DEL40F5#7&11aa&dock#{e6f}";
  const std::string edidKey = "EDID DEL 40F5 CN0F1", deskKey = "//?/DISPLAY#DEL40F5#5&3a4b#{e6f}";
  const MonitorSource radar{"https://radar.example/r.png", "", DisplayMode::Fit}, old{};
  const struct {
    std::map<std::string, MonitorSource> kept;
    Monitor now;
    std::vector<std::string> keys;  // of the monitor's own picture; none: the common one
  } cases[] = {{{{edidKey, radar}}, dock, {edidKey}},
               {{{deskKey, radar}}, desk, {deskKey}},
               {{{deskKey, radar}}, dock, {}},
               {{{deskKey, old}, {edidKey, radar}}, desk, {edidKey}}};
  for (const auto& c : cases) {
    Settings settings;
    settings.monitorSources = c.kept;
    const std::vector<PictureSource> pictures = picturesFor(settings, {kPrimary, c.now});
    EXPECT_EQ(pictures.empty() ? std::vector<std::string>{} : pictures.back().keys, c.keys);
  }
  EXPECT_EQ(underPreferredNames({{deskKey, radar}, {"gone", old}}, {kPrimary, desk}),
            (std::map<std::string, MonitorSource>{{edidKey, radar}, {"gone", old}}));
}

}  // namespace
}  // namespace tessaren
