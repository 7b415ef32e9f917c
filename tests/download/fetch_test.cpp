// One whole update against the scripted HTTP client: the exact exchange, how the body is
// copied, what each failure leaves behind, and the limits on a server that never stops.
#include "download/fetch.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>

#include "download/download_target.h"
#include "tests/download/sample_jpeg.h"
#include "tests/support/fake_desktop.h"
#include "tests/support/fake_http.h"
#include "tests/support/fake_registry.h"

namespace tessaren {
namespace {

using test::FakeHttp;
using test::FakeLocalFiles;
using test::sampleJpeg;
using test::ScriptedResponse;
using Failure = ScriptedResponse::Failure;
namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

const std::string kOldPicture = "the picture of the last good update";

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaren-fetch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    DownloadTarget& target = downloadTarget();
    target.serverName = "pictures.example";
    target.objectPath = "/pics/now.jpg ";
    target.port = 8080;
    target.secure = false;
    target.displayMode = 1;
    target.jpegPath = (dir / "tessaren.jpg").string();
    target.bmpPath = (dir / "tessaren.bmp").string();
    writeFile(jpegPath(), kOldPicture);
  }
  void TearDown() override {
    resetDownloadTarget();
    setFetchLimits(std::nullopt);
    fs::remove_all(dir);
  }

  // The update as the refresh cycle runs it, minus the derivation from the registry.
  std::int32_t fetch() {
    DownloadTarget saved = downloadTarget();
    DownloadJob job;
    downloadTarget() = saved;
    log.clear();
    return job.fetch();
  }

  fs::path jpegPath() const { return dir / "tessaren.jpg"; }
  fs::path bmpPath() const { return dir / "tessaren.bmp"; }
  int count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(log.begin(), log.end(), [&](const std::string& line) {
      return line.rfind(prefix, 0) == 0;
    }));
  }
  std::vector<std::string> closes() const {
    std::vector<std::string> result;
    for (const std::string& line : log)
      if (line.rfind("close", 0) == 0) result.push_back(line);
    return result;
  }

  // After a failed update the last good picture, the BMP and the wallpaper are as they were.
  void expectNothingChanged() {
    EXPECT_EQ(readFile(jpegPath()), kOldPicture);
    EXPECT_FALSE(fs::exists(dir / "tessaren.jpg.part"));
    EXPECT_FALSE(fs::exists(bmpPath()));
    EXPECT_TRUE(desktop.wallpapers.empty());
    EXPECT_EQ(http.openHandles(), 0);
    EXPECT_EQ(files.openFiles(), 0);
  }

  fs::path dir;
  std::vector<std::string> log;
  test::FakeRegistry registry;
  FakeHttp http{log};
  FakeLocalFiles files{log};
  test::FakeDesktop desktop;
};

TEST_F(FetchTest, ExchangeOfOneSuccessfulUpdate) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  http.responses = {{.contentLength = "1500", .body = picture}};

  ASSERT_EQ(fetch(), 0);

  const std::vector<std::string> expected = {
      "open WALLPAPER",
      "connect session pictures.example:8080",
      "request connection GET [/pics/now.jpg ] HTTP/1.0 0xA4000000",
      "timeout request connect",
      "timeout request send",
      "timeout request receive",
      "headers request 261 0x10000000",
      "send request",
      "query request 19",
      "query request 5",
      "create tessaren.jpg.part",
      "available request -> 1500",
      "read request 1024 -> 1024",
      "write 1024 -> 1024",
      "available request -> 476",
      "read request 476 -> 476",
      "write 476 -> 476",
      "available request -> 0",
      "read request 1024 -> 0",
      "close file",
      "close request",
      "close connection",
      "close session",
      "replace tessaren.jpg.part tessaren.jpg",
  };
  EXPECT_EQ(log, expected);
  EXPECT_EQ(http.headersAdded, kRequestHeaders);
  EXPECT_EQ(http.headersAdded.substr(0, 9), "Accept:  ");
  EXPECT_EQ(http.timeouts[HttpTimeout::Connect], 30'000u);
  EXPECT_EQ(http.timeouts[HttpTimeout::Send], 30'000u);
  EXPECT_EQ(http.timeouts[HttpTimeout::Receive], 30'000u);
  EXPECT_EQ(readFile(jpegPath()), picture);
  EXPECT_FALSE(fs::exists(dir / "tessaren.jpg.part"));
  EXPECT_EQ(desktop.wallpapers, std::vector<std::string>{bmpPath().string()});
  EXPECT_EQ(readFile(bmpPath()).substr(0, 2), "BM");
}

TEST_F(FetchTest, HttpsSpeaksTlsToTheUrlsPort) {
  downloadTarget().secure = true;
  downloadTarget().port = 443;
  http.responses = {{.status = "404"}};
  fetch();
  EXPECT_EQ(log.at(1), "connect session pictures.example:443");
  EXPECT_EQ(log.at(2), "request connection GET [/pics/now.jpg ] HTTP/1.0 0xA4800000");
}

// The body is copied until a read gives 0 bytes, however the pieces arrive.
TEST_F(FetchTest, BodyArrivesWholeWhateverThePieces) {
  struct Case {
    const char* name;
    std::size_t size;
    std::vector<std::uint32_t> pieces;
    int reads;  // including the final empty one
  };
  std::vector<std::uint32_t> oneByteEach(700, 1);
  const Case cases[] = {
      {"two full chunks", 2048, {}, 3},
      {"uneven pieces", 3000, {100, 1, 1023, 7, 1024, 500}, 8},
      {"one byte at a time", 700, oneByteEach, 701},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string picture = sampleJpeg(8, 8, c.size);
    http.responses = {{.body = picture, .pieces = c.pieces}};
    desktop.wallpapers.clear();
    EXPECT_EQ(fetch(), 0);
    EXPECT_EQ(readFile(jpegPath()), picture);
    EXPECT_EQ(count("read "), c.reads);
    EXPECT_EQ(desktop.wallpapers.size(), 1u);
  }
}

// Every way the exchange can fail before a body byte is stored: result 1, handles closed
// newest first, no file touched.
TEST_F(FetchTest, FailuresBeforeTheBody) {
  struct Case {
    const char* name;
    ScriptedResponse response;
    std::vector<std::string> closes;
  };
  const std::vector<std::string> all = {"close request", "close connection", "close session"};
  const Case cases[] = {
      {"no session", {.failAt = Failure::Session}, {}},
      {"no connection", {.failAt = Failure::Connect}, {"close session"}},
      {"no request", {.failAt = Failure::OpenRequest}, {"close connection", "close session"}},
      {"send fails (unresolved, refused, time-out)", {.failAt = Failure::Send}, all},
      {"status unreadable", {.failAt = Failure::Status}, all},
      {"404", {.status = "404", .body = "not here"}, all},
      {"500", {.status = "500"}, all},
      {"204", {.status = "204"}, all},
      {"206", {.status = "206", .body = sampleJpeg(8, 8)}, all},
      {"2000", {.status = "2000", .body = sampleJpeg(8, 8)}, all},
      {"announced beyond the size limit",
       {.contentLength = "268435457", .body = sampleJpeg(8, 8)},
       all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    http.responses = {c.response};
    EXPECT_EQ(fetch(), 1);
    EXPECT_EQ(closes(), c.closes);
    EXPECT_EQ(count("create"), 0);
    EXPECT_EQ(count("read"), 0);
    expectNothingChanged();
  }
}

// Failures once the body file exists: it is closed before the internet handles and then
// deleted, and the last good picture stays.
TEST_F(FetchTest, FailuresWhileStoringTheBody) {
  const std::string picture = sampleJpeg(8, 8, 3000);
  struct Case {
    const char* name;
    ScriptedResponse response;
    std::function<void(FakeLocalFiles&)> arrange;
    std::vector<std::string> tail;  // the log from the body file's close on
  };
  const std::vector<std::string> discarded = {"close file", "remove tessaren.jpg.part",
                                              "close request", "close connection", "close session"};
  const Case cases[] = {
      {"read fails mid-body", {.body = picture, .readFailsAt = 2000}, nullptr, discarded},
      {"fewer bytes than announced",
       {.contentLength = "4000", .body = picture},
       nullptr,
       discarded},
      {"more bytes than announced", {.contentLength = "2500", .body = picture}, nullptr, discarded},
      {"write fails", {.body = picture}, [](FakeLocalFiles& f) { f.failWrite = true; }, discarded},
      {"disk full", {.body = picture}, [](FakeLocalFiles& f) { f.diskFullAt = 1500; }, discarded},
      {"closing the file fails",
       {.body = picture},
       [](FakeLocalFiles& f) { f.failClose = true; },
       {"close file -> fail", "remove tessaren.jpg.part", "close request", "close connection",
        "close session"}},
      {"file cannot be created",
       {.body = picture},
       [](FakeLocalFiles& f) { f.failCreate = true; },
       {"close request", "close connection", "close session"}},
      {"not a picture",
       {.body = "<html>no picture today</html>"},
       nullptr,
       {"close file", "close request", "close connection", "close session",
        "remove tessaren.jpg.part"}},
      {"empty body",
       {.contentLength = "0"},
       nullptr,
       {"close file", "close request", "close connection", "close session",
        "remove tessaren.jpg.part"}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    files.failCreate = files.failWrite = files.failClose = files.failReplace = false;
    files.diskFullAt.reset();
    if (c.arrange) c.arrange(files);
    http.responses = {c.response};
    EXPECT_EQ(fetch(), 1);
    std::size_t firstClose =
        std::find_if(log.begin(), log.end(),
                     [](const std::string& line) { return line.rfind("close", 0) == 0; }) -
        log.begin();
    EXPECT_EQ(std::vector<std::string>(log.begin() + firstClose, log.end()), c.tail);
    expectNothingChanged();
  }
}

TEST_F(FetchTest, MissingDirectoryFailsWithoutConverting) {
  downloadTarget().jpegPath = (dir / "missing" / "tessaren.jpg").string();
  http.responses = {{.body = sampleJpeg(8, 8)}};
  EXPECT_EQ(fetch(), 1);
  EXPECT_EQ(count("create tessaren.jpg.part -> fail"), 1);
  expectNothingChanged();
}

// Once the wallpaper has changed, a JPEG file that cannot be replaced does not undo it.
TEST_F(FetchTest, WallpaperStandsWhenTheJpegFileCannotBeReplaced) {
  files.failReplace = true;
  http.responses = {{.body = sampleJpeg(8, 8)}};
  EXPECT_EQ(fetch(), 0);
  EXPECT_EQ(desktop.wallpapers.size(), 1u);
  EXPECT_EQ(readFile(jpegPath()), kOldPicture);
  EXPECT_FALSE(fs::exists(dir / "tessaren.jpg.part"));
}

// A server that never stops sending is cut off by the size limit or by the clock.
TEST_F(FetchTest, EndlessBodyIsCutOff) {
  struct Case {
    const char* name;
    FetchLimits limits;
    std::chrono::milliseconds readDelay;
    int maxReads;
  };
  const Case cases[] = {
      {"size limit", {.maxBodyBytes = 64 * 1024}, std::chrono::milliseconds(0), 65},
      {"overall time", {.overallMs = 60}, std::chrono::milliseconds(5), 14},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    setFetchLimits(c.limits);
    http.responses = {{.body = "endless stream ", .endless = true, .readDelay = c.readDelay}};
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(fetch(), 1);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_LE(count("read "), c.maxReads);
    EXPECT_GE(count("read "), 2);
    expectNothingChanged();
  }
}

TEST_F(FetchTest, ReceiveTimeoutNeverExceedsTheOverallLimit) {
  setFetchLimits(FetchLimits{
      .connectTimeoutMs = 100, .sendTimeoutMs = 200, .receiveTimeoutMs = 5000, .overallMs = 700});
  http.responses = {{.status = "404"}};
  fetch();
  EXPECT_EQ(http.timeouts[HttpTimeout::Connect], 100u);
  EXPECT_EQ(http.timeouts[HttpTimeout::Send], 200u);
  EXPECT_EQ(http.timeouts[HttpTimeout::Receive], 700u);
}

}  // namespace
}  // namespace tessaren
