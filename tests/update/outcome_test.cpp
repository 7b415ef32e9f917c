// The words of each outcome in the log and the tip, what text from a server can do to a
// log line (nothing), and the log file's rotation.
#include "update/outcome.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <time.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "update/update_log.h"

namespace tessaren {
namespace {

namespace fs = std::filesystem;

// 2026-12-07 14:05:09 UTC.
constexpr std::time_t kNow = 1'796'652'309;

class OutcomeText : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TZ", "UTC", 1);
    tzset();
  }
};

UpdateOutcome outcome(OutcomeKind kind, const std::string& reasonOrDetail) {
  UpdateOutcome result;
  result.kind = kind;
  result.host = "www.weather.gov";
  if (kind == OutcomeKind::Failed) {
    result.failure = Failure{FailureKind::HttpStatus, reasonOrDetail};
  } else {
    result.detail = reasonOrDetail;
  }
  result.width = 1920;
  result.height = 1080;
  result.bytes = 421'888;
  result.seconds = 0.84;
  return result;
}

TEST_F(OutcomeText, LogLinesAndTips) {
  struct Case {
    UpdateOutcome outcome;
    std::time_t changedAt;
    std::optional<std::time_t> nextTry;
    const char* log;
    const char* tip;
  } const cases[] = {
      {outcome(OutcomeKind::Updated, ""), kNow, kNow + 3600,
       "2026-12-07 14:05:09\tupdated\twww.weather.gov\t1920 x 1080 PNG, 412 KB in 0.8 s",
       "updated 14:05"},
      {outcome(OutcomeKind::Updated, "redrawn"), kNow - 600, kNow + 3600,
       "2026-12-07 14:05:09\tupdated\twww.weather.gov\t1920 x 1080, redrawn in 0.8 s",
       "updated 14:05"},
      {outcome(OutcomeKind::Unchanged, "not modified"), kNow - 3600, kNow + 3600,
       "2026-12-07 14:05:09\tunchanged\twww.weather.gov\tsince 13:05 (not modified)",
       "unchanged since 13:05, checked 14:05"},
      {outcome(OutcomeKind::Unchanged, "same picture"), kNow - 86'400, kNow + 3600,
       "2026-12-07 14:05:09\tunchanged\twww.weather.gov\tsince 2026-12-06 14:05 (same picture)",
       "unchanged since 2026-12-06 14:05, checked 14:05"},
      {outcome(OutcomeKind::Unchanged, "not modified"), 0, kNow + 3600,
       "2026-12-07 14:05:09\tunchanged\twww.weather.gov\t(not modified)",
       "unchanged, checked 14:05"},
      {outcome(OutcomeKind::Failed, "HTTP 404 Not Found"), 0, kNow + 120,
       "2026-12-07 14:05:09\tfailed\twww.weather.gov\tHTTP 404 Not Found",
       "HTTP 404 Not Found, next try 14:07"},
      {outcome(OutcomeKind::Failed, "no answer within 30 s"), 0, kNow + 120,
       "2026-12-07 14:05:09\tfailed\twww.weather.gov\tno answer within 30 s",
       "no answer within 30 s, next try 14:07"},
      {failedOutcome("",
                     {FailureKind::UnusableAddress, "not a usable URL: www.example.com/cam.jpg"}),
       0, std::nullopt, "2026-12-07 14:05:09\tfailed\t-\tnot a usable URL: www.example.com/cam.jpg",
       "not a usable URL: www.example.com/cam.jpg"},
      {failedOutcome("www.weather.gov", cancelledFailure()), 0, std::nullopt,
       "2026-12-07 14:05:09\tcancelled\twww.weather.gov\tcancelled", "cancelled"},
  };
  for (const Case& c : cases) {
    UpdateOutcome shown = c.outcome;
    if (shown.kind == OutcomeKind::Updated && shown.detail.empty()) shown.format = "PNG";
    EXPECT_EQ(logLine(shown, kNow, c.changedAt), c.log);
    EXPECT_EQ(tipDetail(shown, kNow, c.changedAt, c.nextTry), c.tip);
  }
  EXPECT_TRUE(wasCancelled(failedOutcome("h", cancelledFailure())));
  EXPECT_FALSE(wasCancelled(outcome(OutcomeKind::Failed, "HTTP 500")));
}

// Whatever a server sends (in its status text, Content-Type, validators or its name), a
// log line keeps exactly four fields on one line, and no field grows without bound.
TEST_F(OutcomeText, ServerTextCannotForgeALogLine) {
  const std::string hostile[] = {
      "text/html\tupdated\tevil.example\t1920 x 1080",
      "Busy\rforged line",
      "two\nlines",
      "bell\x07 and delete\x7f and C1 \xc2\x85",
      "broken \xff\xfe UTF-8 \xe5\xa3",
      "evil\u202E gpj.exe",
      "\u2066isolated\u2069 \u202Aembedded\u202C",
      "line\u2028paragraph\u2029",
      "marks \u200E\u200F\u061C",
      std::string(300, 'w'),
  };
  for (const std::string& text : hostile) {
    SCOPED_TRACE(text);
    UpdateOutcome failed =
        failedOutcome(text, {FailureKind::NotAPicture, "not a picture (" + text + ")"});
    UpdateOutcome unchanged = outcome(OutcomeKind::Unchanged, "not modified");
    unchanged.host = text;
    for (const UpdateOutcome& o : {failed, unchanged}) {
      const std::string line = logLine(o, kNow, kNow - 60);
      EXPECT_EQ(std::count(line.begin(), line.end(), '\t'), 3) << line;
      EXPECT_EQ(line.find_first_of("\r\n\x07\x7f"), std::string::npos) << line;
      for (std::string_view reordering :
           {"\u202A", "\u202C", "\u202E", "\u2066", "\u2069", "\u2028", "\u2029", "\u200E",
            "\u200F", "\u061C", "\u0085"})
        EXPECT_EQ(line.find(reordering), std::string::npos) << line;
      EXPECT_LE(line.size(), 20u + 10 + 100 + 300 + 3);
      const std::string tip = tipDetail(o, kNow, 0, kNow + 60);
      EXPECT_EQ(tip.find_first_of("\t\r\n"), std::string::npos) << tip;
    }
  }
}

TEST(UpdateLog, AppendsLinesAndKeepsOneOldCopy) {
  const fs::path dir = fs::temp_directory_path() / ("tessaren-log-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "tessaren.log").string();
  ASSERT_TRUE(appendLogLine(path, "first", 64));  // the writer thread's own call
  ASSERT_TRUE(appendLogLine(path, std::string(70, 'x'), 64));
  EXPECT_EQ(fs::file_size(path), 7u + 72u);
  ASSERT_TRUE(appendLogLine(path, "third", 64));  // past the limit: rotated first
  ASSERT_TRUE(appendLogLine(path, "fourth", 64));
  std::ifstream current(path, std::ios::binary), old(path + ".1", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(current), {}), "third\r\nfourth\r\n");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}).substr(0, 7), "first\r\n");
  // A log that can't be written is only skipped.
  EXPECT_FALSE(appendLogLine((dir / "no such folder" / "tessaren.log").string(), "lost"));
  fs::remove_all(dir);
}

}  // namespace
}  // namespace tessaren
