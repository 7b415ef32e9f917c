// What the user learns of an update: the tray's order of picture and tip, the two-line
// tips and their cutting, the log line, the picture remembered for the next update, and
// the About box's state.
#include "app/update_feedback.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "tests/support/fake_registry.h"
#include "tray/tray_icon.h"

namespace tessaren {
namespace {

namespace fs = std::filesystem;

class FixedClock final : public Clock {
 public:
  SteadyTime steadyNow() override { return {}; }
  std::time_t wallNow() override { return 1'796'652'309; }  // 2026-12-07 14:05:09 UTC
};

class LoggingTray final : public TrayApi {
 public:
  LoggingTray() { setTrayApi(this); }
  ~LoggingTray() override { setTrayApi(nullptr); }
  bool notifyIcon(std::uint32_t, const NotifyIconRecord& record) override {
    calls.push_back("icon " + std::to_string(record.hIcon) + " \"" + record.szTip + "\"");
    return true;
  }
  IconHandle loadIcon(ModuleHandle, int id) override { return static_cast<IconHandle>(id); }
  void destroyIcon(IconHandle) override {}
  std::vector<std::string> calls;
};

class UpdateFeedbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    logPath =
        fs::temp_directory_path() / ("tessaren-feedback-" + std::to_string(getpid()) + ".log");
    trayIcon().add(IconState::Ready, 0x77, kTrayNotifyMessage, 0);
    trayIcon().setTip(kTipIdle);
    tray.calls.clear();
  }
  void TearDown() override {
    trayIcon().remove();
    fs::remove(logPath);
  }
  std::string logText() const {
    std::ifstream in(logPath, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }

  test::FakeRegistry registry;
  LoggingTray tray;
  FixedClock clock;
  fs::path logPath;
};

TEST_F(UpdateFeedbackTest, TrayLogAndAboutAfterEachKindOfOutcome) {
  UpdateFeedback feedback(clock, logPath.string());
  UpdateRequest request;
  request.applied.appliedAt = clock.wallNow() - 3600;

  feedback.updateStarted(request);
  UpdateOutcome updated;
  updated.kind = OutcomeKind::Updated;
  updated.host = "www.weather.gov";
  updated.width = 1920;
  updated.height = 1080;
  updated.bytes = 421'888;
  updated.applied =
      AppliedPicture{"http://www.weather.gov/x.jpg", "\"v1\"", "", 1, clock.wallNow()};
  feedback.updateFinished(request, updated, clock.wallNow() + 3600, true);

  UpdateOutcome unchanged;
  unchanged.kind = OutcomeKind::Unchanged;
  unchanged.host = "www.weather.gov";
  unchanged.detail = "not modified";
  feedback.updateFinished(request, unchanged, clock.wallNow() + 3600, true);

  const UpdateOutcome failed = failedOutcome("www.weather.gov", "HTTP 404 Not Found");
  feedback.updateFinished(request, failed, clock.wallNow() + 120, true);
  feedback.updateFinished(request, failedOutcome("www.weather.gov", kCancelledReason), std::nullopt,
                          false);

  // Loading: the picture before the tip; at the end the tip before the picture.
  EXPECT_EQ(tray.calls, (std::vector<std::string>{
                            "icon 129 \"Tessaren\"",
                            "icon 129 \"Tessaren, load wallpaper...\"",
                            "icon 129 \"Tessaren\nupdated 14:05\"",
                            "icon 131 \"Tessaren\nupdated 14:05\"",
                            "icon 131 \"Tessaren\nunchanged since 13:05, checked 14:05\"",
                            "icon 131 \"Tessaren\nunchanged since 13:05, checked 14:05\"",
                            "icon 131 \"Tessaren, communication error!\nHTTP 404 Not Found, "
                            "next try 14:07\"",
                            "icon 130 \"Tessaren, communication error!\nHTTP 404 Not Found, "
                            "next try 14:07\"",
                        }));
  EXPECT_EQ(logText(),
            "2026-12-07 14:05:09\tupdated\twww.weather.gov\t1920 x 1080, 412 KB in 0.00 s\r\n"
            "2026-12-07 14:05:09\tunchanged\twww.weather.gov\tsince 13:05 (not modified)\r\n"
            "2026-12-07 14:05:09\tfailed\twww.weather.gov\tHTTP 404 Not Found\r\n"
            "2026-12-07 14:05:09\tfailed\twww.weather.gov\tcancelled\r\n");
  EXPECT_EQ(feedback.linesLogged(), 4u);
  EXPECT_EQ(loadAppliedPicture(), *updated.applied);

  const std::time_t now = clock.wallNow();
  EXPECT_EQ(lastUpdateLine(feedback.lastSuccess(), now),
            "Last update: 14:05 from www.weather.gov, 1920 x 1080, 412 KB (unchanged)");
  EXPECT_EQ(lastFailureLine(feedback.lastFailure(), now), "Last failure: 14:05, cancelled");
  EXPECT_EQ(lastUpdateLine(std::nullopt, now), "Last update: none yet");
  EXPECT_EQ(lastFailureLine(std::nullopt, now), "Last failure: none");
  EXPECT_EQ(nextUpdateLine(now + 3600, false, now), "Next update: 15:05");
  EXPECT_EQ(nextUpdateLine(std::nullopt, true, now), "Next update: running now");
}

TEST_F(UpdateFeedbackTest, LongTipsAreCutAtACharacterBoundary) {
  // 127 bytes fit the record; "壁" takes three.
  const std::string reason =
      "can't write C:\\" + std::string(80, 'x') + "\\\xe5\xa3\x81\xe5\xa3\x81\xe5\xa3\x81";
  const std::string tip = tipText(kTipError, reason + ", next try 14:07");
  EXPECT_LE(tip.size(), kTipCapacity - 1);
  EXPECT_EQ(tip.substr(tip.size() - 3), "...");
  EXPECT_EQ(tip.rfind(kTipError + "\ncan't write C:\\", 0), 0u);
  trayIcon().setTip(tip);
  const std::string sent = trayIcon().record().szTip;
  EXPECT_EQ(sent, tip);
  EXPECT_EQ(tipText(kTipIdle, "updated 14:05"), "Tessaren\nupdated 14:05");
}

}  // namespace
}  // namespace tessaren
