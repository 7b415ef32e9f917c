// The words of each outcome in the log and the tip, and the log file's rotation.
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
  (kind == OutcomeKind::Failed ? result.reason : result.detail) = reasonOrDetail;
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
       "2026-12-07 14:05:09\tupdated\twww.weather.gov\t1920 x 1080, 412 KB in 0.8 s",
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
      {failedOutcome("", "not a usable URL: www.example.com/cam.jpg"), 0, std::nullopt,
       "2026-12-07 14:05:09\tfailed\t-\tnot a usable URL: www.example.com/cam.jpg",
       "not a usable URL: www.example.com/cam.jpg"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(logLine(c.outcome, kNow, c.changedAt), c.log);
    EXPECT_EQ(tipDetail(c.outcome, kNow, c.changedAt, c.nextTry), c.tip);
  }
  EXPECT_TRUE(isCancelled(failedOutcome("h", kCancelledReason)));
  EXPECT_FALSE(isCancelled(outcome(OutcomeKind::Failed, "HTTP 500")));
}

TEST(UpdateLog, AppendsLinesAndKeepsOneOldCopy) {
  const fs::path dir = fs::temp_directory_path() / ("tessaren-log-" + std::to_string(getpid()));
  fs::create_directories(dir);
  const std::string path = (dir / "tessaren.log").string();
  ASSERT_TRUE(appendLogLine(path, "first", 64));
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
