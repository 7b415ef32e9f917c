// The picture request against the scripted HTTP client: the exact exchange, how the
// body is copied, the reason each failure gives and what it leaves behind, the
// conditional request, cancellation, and the limits on a server that never stops.
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
#include <thread>

#include "tests/download/sample_jpeg.h"
#include "tests/support/fake_http.h"
#include "tests/support/file_contents.h"

namespace tessaren {
namespace {

using test::FakeHttp;
using test::FakeLocalFiles;
using test::sampleJpeg;
using test::ScriptedResponse;
using Failure = ScriptedResponse::Failure;
namespace fs = std::filesystem;

class FetchTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/tessaren-fetch-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir = pattern;
    target.serverName = "pictures.example";
    target.objectPath = "/pics/now.jpg";
    target.port = 8080;
    target.jpegPath = (dir / "tessaren.jpg").string();
  }
  void TearDown() override {
    setFetchLimits(std::nullopt);
    fs::remove_all(dir);
  }

  FetchResult fetch(const Validators& ask = {}) {
    log.clear();
    PartialFile part(partialDownloadPath(target.jpegPath));
    CancelToken cancel;
    FetchResult result = fetchPicture(target, ask, part, cancel);
    // What the caller finds in the partial file, before the test's own clean-up.
    stored = fs::exists(part.path()) ? test::fileContents(part.path()) : std::string("(none)");
    exchange = log;
    return result;
  }

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

  fs::path dir;
  DownloadTarget target;
  std::string stored;
  std::vector<std::string> log;
  std::vector<std::string> exchange;  // the log as fetchPicture left it
  FakeHttp http{log};
  FakeLocalFiles files{log};
};

TEST_F(FetchTest, ExchangeOfOneSuccessfulDownload) {
  const std::string picture = sampleJpeg(16, 8, 1500);
  http.responses = {{.contentLength = "1500",
                     .body = picture,
                     .contentType = "image/jpeg",
                     .etag = "\"v7\"",
                     .lastModified = "Mon, 07 Dec 2026 13:05:00 GMT"}};

  const FetchResult result = fetch();
  ASSERT_EQ(result.status, FetchStatus::Downloaded) << result.reason;

  const std::vector<std::string> expected = {
      "open WALLPAPER",
      "connect session pictures.example:8080",
      "request connection GET [/pics/now.jpg] HTTP/1.0 0xA4000000",
      "timeout request connect",
      "timeout request send",
      "timeout request receive",
      "headers request 261 0x10000000",
      "send request",
      "query request 19",
      "query request 1",
      "query request 54",
      "query request 11",
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
  };
  EXPECT_EQ(exchange, expected);
  EXPECT_EQ(http.headersAdded, kRequestHeaders);
  EXPECT_EQ(http.timeouts[HttpTimeout::Connect], 30'000u);
  EXPECT_EQ(http.timeouts[HttpTimeout::Send], 30'000u);
  EXPECT_EQ(http.timeouts[HttpTimeout::Receive], 30'000u);
  EXPECT_EQ(stored, picture);
  EXPECT_EQ(result.bytes, 1500u);
  EXPECT_EQ(result.contentType, "image/jpeg");
  EXPECT_EQ(result.validators, (Validators{"\"v7\"", "Mon, 07 Dec 2026 13:05:00 GMT"}));
}

TEST_F(FetchTest, HttpsSpeaksTlsToTheUrlsPort) {
  target.secure = true;
  target.port = 443;
  http.responses = {{.status = "404"}};
  fetch();
  EXPECT_EQ(log.at(1), "connect session pictures.example:443");
  EXPECT_EQ(log.at(2), "request connection GET [/pics/now.jpg] HTTP/1.0 0xA4800000");
}

// The validators go in a header block of their own beside the fixed one; a 304 is only
// an answer to them, and nothing is written.
TEST_F(FetchTest, ConditionalRequestAndNotModified) {
  const Validators ask{"\"v7\"", "Mon, 07 Dec 2026 13:05:00 GMT"};
  http.responses = {{.status = "304", .statusText = "Not Modified"}};
  EXPECT_EQ(fetch(ask).status, FetchStatus::NotModified);
  EXPECT_EQ(http.headersAdded, kRequestHeaders + "If-None-Match: \"v7\"\r\n" +
                                   "If-Modified-Since: Mon, 07 Dec 2026 13:05:00 GMT\r\n");
  EXPECT_EQ(count("headers request"), 2);
  EXPECT_EQ(count("create"), 0);
  EXPECT_EQ(stored, "(none)");

  // Only what was kept is sent; a value that could break the header line is not.
  struct Case {
    Validators ask;
    std::string sent;
  } const cases[] = {
      {{"\"a\"", ""}, "If-None-Match: \"a\"\r\n"},
      {{"", "Sun, 06 Dec 2026 10:00:00 GMT"},
       "If-Modified-Since: Sun, 06 Dec 2026 10:00:00 GMT\r\n"},
      {{"\"a\"\r\nHost: evil", ""}, ""},
      {{std::string(300, 'e'), ""}, ""},
  };
  for (const Case& c : cases) {
    http.headersAdded.clear();
    http.responses = {{.status = "304"}};
    const FetchResult result = fetch(c.ask);
    EXPECT_EQ(http.headersAdded, kRequestHeaders + c.sent);
    // Without validators a 304 is no answer to anything.
    EXPECT_EQ(result.status, c.sent.empty() ? FetchStatus::Failed : FetchStatus::NotModified);
  }
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
    EXPECT_EQ(fetch().status, FetchStatus::Downloaded);
    EXPECT_EQ(stored, picture);
    EXPECT_EQ(count("read "), c.reads);
  }
}

// Every way the exchange can fail before a body byte is stored: the reason a user reads,
// handles closed newest first, no file touched.
TEST_F(FetchTest, FailuresBeforeTheBody) {
  struct Case {
    ScriptedResponse response;
    const char* reason;
    std::vector<std::string> closes;
  };
  const std::vector<std::string> all = {"close request", "close connection", "close session"};
  const Case cases[] = {
      {{.failAt = Failure::Session}, "can't connect to pictures.example:8080", {}},
      {{.failAt = Failure::Connect, .error = 12007},
       "can't find the server pictures.example",
       {"close session"}},
      {{.failAt = Failure::OpenRequest, .error = 99},
       "network error 99",
       {"close connection", "close session"}},
      {{.failAt = Failure::Send, .error = 12002}, "no answer within 30 s", all},
      {{.failAt = Failure::Send, .error = 12029}, "can't connect to pictures.example:8080", all},
      {{.failAt = Failure::Send, .error = 12030}, "the server closed the connection", all},
      {{.failAt = Failure::Send, .error = 12045},
       "no trusted secure connection to pictures.example (error 12045)",
       all},
      {{.failAt = Failure::Status, .error = 12152}, "the server's answer is not HTTP", all},
      {{.status = "404", .body = "not here", .statusText = "Not Found"}, "HTTP 404 Not Found", all},
      {{.status = "500"}, "HTTP 500", all},
      {{.status = "204", .statusText = "No Content"}, "HTTP 204 No Content", all},
      {{.status = "206", .body = sampleJpeg(8, 8)}, "HTTP 206", all},
      {{.status = "2000", .body = sampleJpeg(8, 8)}, "HTTP 200", all},
      {{.status = "304"}, "HTTP 304", all},
      {{.contentLength = "268435457", .body = sampleJpeg(8, 8)},
       "the picture is too large: 256 MB (at most 256 MB)",
       all},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    http.responses = {c.response};
    const FetchResult result = fetch();
    EXPECT_EQ(result.status, FetchStatus::Failed);
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_EQ(closes(), c.closes);
    EXPECT_EQ(count("create"), 0);
    EXPECT_EQ(http.openHandles(), 0);
  }
}

// Failures once the body file exists: it is closed before the internet handles and then
// deleted.
TEST_F(FetchTest, FailuresWhileStoringTheBody) {
  const std::string picture = sampleJpeg(8, 8, 3000);
  struct Case {
    ScriptedResponse response;
    std::function<void(FakeLocalFiles&)> arrange;
    std::string reason;
  };
  const std::string part = target.jpegPath + ".part";
  const Case cases[] = {
      {{.body = picture, .readFailsAt = 2000, .error = 12002}, nullptr, "no answer within 30 s"},
      {{.contentLength = "4000", .body = picture}, nullptr, "body cut short: 2.9 of 3.9 KB"},
      {{.contentLength = "2500", .body = picture},
       nullptr,
       "body longer than announced: 2.9 of 2.4 KB"},
      {{.body = picture},
       [](FakeLocalFiles& f) { f.failWrite = true; },
       "can't write " + part + ": Access is denied. (5)"},
      {{.body = picture},
       [](FakeLocalFiles& f) { f.diskFullAt = 1500; },
       "can't write " + part + ": disk full"},
      {{.body = picture},
       [](FakeLocalFiles& f) { f.failClose = true; },
       "can't write " + part + ": Access is denied. (5)"},
  };
  const std::vector<std::string> discarded = {"close file", "remove tessaren.jpg.part",
                                              "close request", "close connection", "close session"};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    files.failWrite = files.failClose = false;
    files.diskFullAt.reset();
    if (c.arrange) c.arrange(files);
    http.responses = {c.response};
    const FetchResult result = fetch();
    EXPECT_EQ(result.status, FetchStatus::Failed);
    EXPECT_EQ(result.reason, c.reason);
    const auto firstClose = std::find_if(log.begin(), log.end(), [](const std::string& line) {
      return line.rfind("close", 0) == 0;
    });
    std::vector<std::string> tail(firstClose, log.end());
    if (files.failClose) tail[0] = "close file";  // logged as failing
    EXPECT_EQ(tail, discarded);
    EXPECT_EQ(stored, "(none)");
    EXPECT_EQ(files.openFiles(), 0);
  }
  files.failClose = false;
  files.failCreate = true;
  http.responses = {{.body = picture}};
  EXPECT_EQ(fetch().reason, "can't create " + part + ": Access is denied. (5)");
  EXPECT_EQ(closes(),
            (std::vector<std::string>{"close request", "close connection", "close session"}));
}

// Cancelling from another thread closes the request the download waits on, once, and
// the download ends as cancelled with its partial file gone.
TEST_F(FetchTest, CancelClosesTheRequestOnceAndDiscardsTheBody) {
  http.responses = {
      {.body = "endless stream ", .endless = true, .readDelay = std::chrono::milliseconds(2)}};
  PartialFile part(partialDownloadPath(target.jpegPath));
  CancelToken cancel;
  std::thread canceller([&] {
    while (!fs::exists(part.path())) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    cancel.cancel();
  });
  const FetchResult result = fetchPicture(target, {}, part, cancel);
  canceller.join();
  EXPECT_EQ(result.status, FetchStatus::Cancelled);
  EXPECT_EQ(result.reason, "cancelled");
  EXPECT_FALSE(fs::exists(part.path()));
  EXPECT_EQ(count("close request"), 1);
  EXPECT_EQ(http.openHandles(), 0);

  // Cancelled before it starts: nothing is opened at all.
  log.clear();
  EXPECT_EQ(fetchPicture(target, {}, part, cancel).status, FetchStatus::Cancelled);
  EXPECT_TRUE(log.empty());
}

// A server that never stops sending is cut off by the size limit or by the clock.
TEST_F(FetchTest, EndlessBodyIsCutOff) {
  struct Case {
    FetchLimits limits;
    std::chrono::milliseconds readDelay;
    int maxReads;
    const char* reason;
  };
  const Case cases[] = {
      {{.maxBodyBytes = 64 * 1024},
       std::chrono::milliseconds(0),
       65,
       "the picture is larger than 64 KB"},
      {{.overallMs = 60}, std::chrono::milliseconds(5), 14, "the download took longer than 0.1 s"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.reason);
    setFetchLimits(c.limits);
    http.responses = {{.body = "endless stream ", .endless = true, .readDelay = c.readDelay}};
    auto start = std::chrono::steady_clock::now();
    const FetchResult result = fetch();
    EXPECT_EQ(result.reason, c.reason);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_LE(count("read "), c.maxReads);
    EXPECT_GE(count("read "), 2);
    EXPECT_EQ(stored, "(none)");
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
