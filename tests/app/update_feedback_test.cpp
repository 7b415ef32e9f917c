// What the user learns of an update: the order of picture and tip in the tray, the
// two-line tips and their cutting, the log line, and the About box's state; a cancel is
// logged and nothing more.
#include "app/update_feedback.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <functional>
#include <vector>

#include "tests/source/zones.h"
#include "tests/support/fake_tray.h"
#include "tests/support/file_contents.h"

namespace tessaren {
namespace {

namespace fs = std::filesystem;

class FixedClock final : public Clock {
 public:
  SteadyTime steadyNow() override { return {}; }
  std::time_t wallNow() override { return 1'796'652'309; }  // 2026-12-07 14:05:09 UTC
};

class UpdateFeedbackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
    tray.add(IconState::Ready, kTipIdle);
    shell.shown.clear();
  }
  void TearDown() override { fs::remove(logPath); }

  test::FakeShell shell;
  TrayIcon tray{shell};
  FixedClock clock;
  fs::path logPath =
      fs::temp_directory_path() / ("tessaren-feedback-" + std::to_string(getpid()) + ".log");
  UpdateLog log{logPath.string()};
  UpdateFeedback feedback{clock, tray, log};
};

TEST_F(UpdateFeedbackTest, TrayLogAndAboutAfterEachKindOfOutcome) {
  UpdateRequest request;
  request.applied.appliedAt = clock.wallNow() - 3600;

  feedback.updateStarted(request);
  UpdateOutcome updated;
  updated.kind = OutcomeKind::Updated;
  updated.host = "www.weather.gov";
  updated.width = 1920;
  updated.height = 1080;
  updated.format = "PNG";
  updated.origin = "og:image";
  updated.pictureUrl = "http://cdn.weather.gov/x.png";
  updated.bytes = 421'888;
  updated.applied = AppliedPicture{
      .url = "http://www.weather.gov/x.png", .known = true, .appliedAt = clock.wallNow()};
  feedback.updateFinished(request, updated, clock.wallNow() + 3600, true);

  UpdateOutcome unchanged;
  unchanged.kind = OutcomeKind::Unchanged;
  unchanged.host = "www.weather.gov";
  unchanged.detail = "not modified";
  feedback.updateFinished(request, unchanged, clock.wallNow() + 3600, true);

  feedback.updateFinished(
      request, failedOutcome("www.weather.gov", {FailureKind::HttpStatus, "HTTP 404 Not Found"}),
      clock.wallNow() + 120, true);
  feedback.updateFinished(request, failedOutcome("www.weather.gov", cancelledFailure()),
                          std::nullopt, false);

  // Loading: the picture before the tip; at the end the tip before the picture.
  EXPECT_EQ(shell.shown, (std::vector<std::string>{
                             "loading \"Tessaren\"",
                             "loading \"Tessaren, load wallpaper...\"",
                             "loading \"Tessaren\nupdated 14:05\"",
                             "ready \"Tessaren\nupdated 14:05\"",
                             "ready \"Tessaren\nunchanged since 13:05, checked 14:05\"",
                             "ready \"Tessaren\nunchanged since 13:05, checked 14:05\"",
                             "ready \"Tessaren, communication error!\nHTTP 404 Not Found, "
                             "next try 14:07\"",
                             "error \"Tessaren, communication error!\nHTTP 404 Not Found, "
                             "next try 14:07\"",
                         }));
  ASSERT_TRUE(log.flush(std::chrono::seconds(5)));
  EXPECT_EQ(test::fileContents(logPath),
            "2026-12-07 14:05:09\tupdated\twww.weather.gov\t1920 x 1080 PNG, 412 KB in 0.00 s, "
            "og:image: http://cdn.weather.gov/x.png\r\n"
            "2026-12-07 14:05:09\tunchanged\twww.weather.gov\tsince 13:05 (not modified)\r\n"
            "2026-12-07 14:05:09\tfailed\twww.weather.gov\tHTTP 404 Not Found\r\n"
            "2026-12-07 14:05:09\tcancelled\twww.weather.gov\tcancelled\r\n");
  EXPECT_EQ(log.linesWritten(), 4u);

  const std::time_t now = clock.wallNow();
  EXPECT_EQ(lastUpdateLine(feedback.lastSuccess(), now),
            "Last update: 14:05 from www.weather.gov, 1920 x 1080 PNG, 412 KB (unchanged)");
  EXPECT_EQ(pictureLine(feedback.lastSuccess()), "Picture: http://cdn.weather.gov/x.png (og:image)")
      << "kept through an unchanged update";
  EXPECT_EQ(lastFailureLine(feedback.lastFailure(), now), "Last failure: 14:05, HTTP 404 Not Found")
      << "a cancel is no failure";
  EXPECT_EQ(lastUpdateLine(std::nullopt, now), "Last update: none yet");
  EXPECT_EQ(lastFailureLine(std::nullopt, now), "Last failure: none");
  EXPECT_EQ(nextUpdateLine(now + 3600, false, std::nullopt, now), "Next update: 15:05");
  EXPECT_EQ(nextUpdateLine(std::nullopt, true, std::nullopt, now), "Next update: running now");
  EXPECT_EQ(nextUpdateLine(now + 3600, false, now + 7200, now), "Next update: paused until 16:05");
  EXPECT_EQ(nextUpdateLine(now + 3600, false, kPausedUntilResumed, now), "Next update: paused");
}

// /status in every state: the tray's state, the last update's result whatever came after
// it (a pause, a resume, a hold, a cancel, a running update), and the next update; the
// next update is never said twice.
TEST_F(UpdateFeedbackTest, StatusInEachState) {
  const std::time_t now = clock.wallNow();
  UpdateRequest request;
  request.applied.appliedAt = now - 3600;
  UpdateOutcome updated;
  updated.kind = OutcomeKind::Updated;
  updated.host = "www.weather.gov";
  updated.width = 1920;
  updated.height = 1080;
  updated.format = "PNG";
  updated.bytes = 421'888;
  updated.applied =
      AppliedPicture{.url = "http://www.weather.gov/x.png", .known = true, .appliedAt = now};
  UpdateOutcome unchanged;
  unchanged.kind = OutcomeKind::Unchanged;
  unchanged.host = "www.weather.gov";
  const UpdateOutcome failed =
      failedOutcome("www.weather.gov", {FailureKind::HttpStatus, "HTTP 404 Not Found"});
  using Event = std::function<void(UpdateFeedback&)>;
  const auto update = [&](const UpdateOutcome& outcome, std::time_t next) -> Event {
    return [&, next](UpdateFeedback& f) {
      f.updateStarted(request);
      f.updateFinished(request, outcome, next, true);
    };
  };
  const Event cancel = [&](UpdateFeedback& f) {
    f.updateStarted(request);
    f.updateFinished(request, failedOutcome("www.weather.gov", cancelledFailure()), std::nullopt,
                     false);
    f.updateHeld(Hold::None, "", false, now + 3600, std::nullopt);
  };
  const auto pause = [&](std::time_t until) -> Event {
    return
        [until](UpdateFeedback& f) { f.updateHeld(Hold::Paused, "", false, std::nullopt, until); };
  };
  const Event resume = [&](UpdateFeedback& f) {
    f.updateHeld(Hold::None, "", false, now + 3600, std::nullopt);
  };
  const Event metered = [&](UpdateFeedback& f) {
    f.updateHeld(Hold::Metered, "www.weather.gov", true, now + 60, std::nullopt);
  };
  const Event start = [&](UpdateFeedback& f) { f.updateStarted(request); };
  const std::string good = "Last update: 14:05 from www.weather.gov, 1920 x 1080 PNG, 412 KB";

  struct Case {
    const char* state;
    std::vector<Event> events;
    std::optional<std::time_t> next;
    bool running;
    std::optional<std::time_t> paused;
    std::string status;
  } const cases[] = {
      {"before any update",
       {},
       now + 3600,
       false,
       {},
       "Tessaren\nLast update: none yet\nNext update: 15:05\n"},
      {"the first update running",
       {start},
       {},
       true,
       {},
       "Tessaren, load wallpaper...\nLast update: none yet\nNext update: running now\n"},
      {"updated",
       {update(updated, now + 3600)},
       now + 3600,
       false,
       {},
       "Tessaren\n" + good + "\nNext update: 15:05\n"},
      {"updated, then paused for an hour",
       {update(updated, now + 3600), pause(now + 7200)},
       now + 3600,
       false,
       now + 7200,
       "Tessaren\n" + good + "\nNext update: paused until 16:05\n"},
      {"updated, paused and resumed",
       {update(updated, now + 3600), pause(kPausedUntilResumed), resume},
       now + 3600,
       false,
       {},
       "Tessaren\n" + good + "\nNext update: 15:05\n"},
      {"updated, then unchanged",
       {update(updated, now + 3600), update(unchanged, now + 3600)},
       now + 3600,
       false,
       {},
       "Tessaren\n" + good + " (unchanged)\nNext update: 15:05\n"},
      {"updated, then a cancelled one",
       {update(updated, now + 3600), cancel},
       now + 3600,
       false,
       {},
       "Tessaren\n" + good + "\nNext update: 15:05\n"},
      {"the next one running",
       {update(updated, now + 3600), start},
       now + 3600,
       true,
       {},
       "Tessaren, load wallpaper...\n" + good + "\nNext update: running now\n"},
      {"failed",
       {update(failed, now + 120)},
       now + 120,
       false,
       {},
       "Tessaren, communication error!\nLast update: 14:05 from www.weather.gov, failed: HTTP "
       "404 Not Found\nNext update: 14:07\n"},
      {"failed, then paused until resumed",
       {update(failed, now + 120), pause(kPausedUntilResumed)},
       now + 120,
       false,
       kPausedUntilResumed,
       "Tessaren\nLast update: 14:05 from www.weather.gov, failed: HTTP 404 Not Found\nNext "
       "update: paused\n"},
      {"failed, then held on a metered connection",
       {update(failed, now + 120), metered},
       now + 60,
       false,
       {},
       "Tessaren\nLast update: 14:05 from www.weather.gov, failed: HTTP 404 Not Found\nNext "
       "update: 14:06\n"},
      {"failed, then updated",
       {update(failed, now + 120), update(updated, now + 3600)},
       now + 3600,
       false,
       {},
       "Tessaren\n" + good + "\nNext update: 15:05\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.state);
    // Each state from a program just started: a feedback of its own, the tray as it starts.
    UpdateFeedback fresh{clock, tray, log};
    tray.setTip(kTipIdle);
    for (const Event& event : c.events) event(fresh);
    const std::string status = fresh.statusText(c.next, c.running, c.paused);
    EXPECT_EQ(status, c.status);
    const std::size_t third = status.find("Next update: ");
    const std::string next = status.substr(third + 13, status.size() - third - 14);
    EXPECT_EQ(status.substr(0, third).find(next), std::string::npos) << "said twice: " << next;
  }
}

TEST_F(UpdateFeedbackTest, HeldUpdatesInTheTipAndTheLog) {
  const std::time_t now = clock.wallNow();
  feedback.updateHeld(Hold::Metered, "pictures.example", true, now + 60, std::nullopt);
  EXPECT_EQ(shell.shown.back(), "ready \"Tessaren\nmetered connection, next try 14:06\"");
  feedback.updateHeld(Hold::Metered, "pictures.example", false, now + 120, std::nullopt);
  feedback.updateHeld(Hold::Paused, "", false, std::nullopt, now + 3600);
  EXPECT_EQ(shell.shown.back(), "ready \"Tessaren\npaused until 15:05\"");
  ASSERT_TRUE(log.flush(std::chrono::seconds(5)));
  EXPECT_EQ(test::fileContents(logPath),
            "2026-12-07 14:05:09\tskipped\tpictures.example\tmetered connection\r\n")
      << "one line for the start of the hold";
}

TEST(CheckResult, EveryAnswerIsOneSentence) {
  UpdateOutcome found;
  found.kind = OutcomeKind::Updated;
  found.pictureUrl = "https://cdn.example/x.jpg";
  found.origin = "og:image";
  found.width = 1920;
  found.height = 1080;
  found.format = "JPEG";
  found.bytes = 412 * 1024;
  EXPECT_EQ(checkResultText(found),
            "Found https://cdn.example/x.jpg (og:image): 1920 x 1080 JPEG, 412 KB.");
  struct Case {
    const char* reason;
    const char* answer;
  } const cases[] = {
      {"can't connect to 127.0.0.1:9", "Can't connect to 127.0.0.1:9."},
      {"HTTP 404 Not Found", "HTTP 404 Not Found."},
      {"the page names no picture.", "The page names no picture."},  // no second full stop
      {"no answer within 30 s?", "No answer within 30 s?"},
      {"\xc3\xbc"
       "ber 5 MB",
       "\xc3\xbc"
       "ber 5 MB."},  // a letter beyond ASCII stays as it is
  };
  for (const Case& c : cases)
    EXPECT_EQ(checkResultText(failedOutcome("h", Failure{FailureKind::Unreachable, c.reason})),
              c.answer);
  EXPECT_EQ(asSentence(""), "");
}

// The label names the local time the pause really ends: today before six, and the hour
// after the jump on a morning whose 06:00 the clocks skip.
TEST(PauseMenu, UntilTomorrowSaysWhen) {
  const std::time_t skipAt = test::utc(2027, 3, 28, 6, 0);  // 06:00 becomes 07:00
  const UtcOffsetAt skipsSix = [skipAt](std::time_t at) { return at < skipAt ? 0L : 3600L; };
  struct Case {
    std::time_t now;
    UtcOffsetAt zone;
    const char* label;
  } const cases[] = {
      {test::utc(2026, 12, 7, 13, 5), test::berlin, "Until tomorrow, 06:00"},  // 14:05 CET
      {test::utc(2026, 12, 7, 23, 30), test::berlin, "Until 06:00"},           // 00:30 CET
      {test::utc(2027, 3, 28, 0, 30), test::berlin, "Until 06:00"},  // the night summer time starts
      {test::utc(2026, 12, 7, 5, 0), test::berlin, "Until tomorrow, 06:00"},  // at 06:00 sharp
      {test::utc(2027, 3, 27, 22, 0), skipsSix, "Until tomorrow, 07:00"},
  };
  for (const Case& c : cases) EXPECT_EQ(pauseUntilMorningLabel(c.now, c.zone), c.label) << c.now;
}

// Stepping back: the picture shown has a log line of its own, the tip says which one and
// that the updates wait (also when the schedule says it is paused), and the About box keeps
// the last update; once the newest picture is drawn again, a pause is a plain pause.
TEST_F(UpdateFeedbackTest, APictureFromTheHistorySaysSoUntilTheNewestIsBack) {
  const std::time_t now = clock.wallNow();
  UpdateRequest kept;
  kept.redrawOnly = true;
  kept.drawFrom = "C:\\Pictures\\history\\2026-12-07 120000\\";
  UpdateOutcome shown;
  shown.kind = OutcomeKind::Updated;
  shown.width = 160;
  shown.height = 120;
  shown.format = "JPEG";
  shown.detail = "from the history";
  shown.commit = 5;
  feedback.updateFinished(kept, shown, std::nullopt, true);
  EXPECT_EQ(shell.shown.back(), "ready \"Tessaren\nshowing the picture of 12:00; updates paused\"");
  feedback.updateHeld(Hold::Paused, "", false, std::nullopt, kPausedUntilResumed);
  EXPECT_EQ(shell.shown.back(), "ready \"Tessaren\nshowing the picture of 12:00; updates paused\"");
  kept.drawFrom = "C:\\Pictures\\history\\2026-12-06 235900\\";
  feedback.updateFinished(kept, shown, std::nullopt, true);
  EXPECT_EQ(feedback.showingKept(), "2026-12-06 23:59") << "another day says which";
  EXPECT_FALSE(feedback.lastSuccess());
  EXPECT_EQ(feedback.statusText(std::nullopt, false, kPausedUntilResumed),
            "Tessaren\nLast update: none yet\nNext update: paused, showing the picture of "
            "2026-12-06 23:59\n");

  UpdateRequest newest;
  newest.redrawOnly = true;
  UpdateOutcome redrawn = shown;
  redrawn.detail = "redrawn";
  redrawn.commit = 6;
  feedback.updateFinished(newest, redrawn, now + 60, true);
  feedback.updateHeld(Hold::Paused, "", false, std::nullopt, kPausedUntilResumed);
  EXPECT_EQ(shell.shown.back(), "ready \"Tessaren\npaused\"");
  ASSERT_TRUE(log.flush(std::chrono::seconds(5)));
  EXPECT_EQ(
      test::fileContents(logPath),
      "2026-12-07 14:05:09\tshown\t-\tthe picture of 12:00 from the history: 160 x 120 JPEG\r\n"
      "2026-12-07 14:05:09\tshown\t-\tthe picture of 2026-12-06 23:59 from the history: "
      "160 x 120 JPEG\r\n"
      "2026-12-07 14:05:09\tupdated\t-\t160 x 120 JPEG, redrawn in 0.00 s\r\n");
}

TEST_F(UpdateFeedbackTest, LongTipsAreCutAtACharacterBoundary) {
  // 127 bytes fit the tip; "壁" takes three.
  const std::string reason =
      "can't write C:\\" + std::string(80, 'x') + "\\\xe5\xa3\x81\xe5\xa3\x81\xe5\xa3\x81";
  const std::string tip = tipText(kTipError, reason + ", next try 14:07");
  EXPECT_LE(tip.size(), kTipCapacity - 1);
  EXPECT_EQ(tip.substr(tip.size() - 3), "...");
  EXPECT_EQ(tip.rfind(kTipError + "\ncan't write C:\\", 0), 0u);
  EXPECT_EQ(tipText(kTipIdle, "updated 14:05"), "Tessaren\nupdated 14:05");
}

}  // namespace
}  // namespace tessaren
