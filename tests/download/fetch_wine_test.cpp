// One whole update through the real WinINet against a local server that misbehaves on
// request: the outcome and its reason, what the files look like afterwards, how long it
// took, conditional requests, and cancelling from another thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <thread>

#include "download/fetch.h"
#include "tests/download/sample_jpeg.h"
#include "tests/support/test_http_server.h"
#include "update/update_job.h"

namespace tessaren {
namespace {

using test::httpResponse;
using test::sampleJpeg;
using test::ServerScript;
using test::ServerStep;
using test::TestHttpServer;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// Scaled down from the product's so that every stall ends within a second or two.
constexpr FetchLimits kTestLimits{.connectTimeoutMs = 1000,
                                  .sendTimeoutMs = 1000,
                                  .receiveTimeoutMs = 600,
                                  .overallMs = 2500,
                                  .maxBodyBytes = 1 << 20};
// Slack on top of a limit for Wine and a busy machine.
constexpr milliseconds kSlack{1500};

const std::string kOldPicture = "the picture of the last good update";

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

class FetchUnderWine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.listening());
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    static int serial = 0;
    dir = std::string(temp) + "tessaren-fetch-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++serial) + "\\";
    ASSERT_TRUE(CreateDirectoryA(dir.c_str(), nullptr));
    setFetchLimits(kTestLimits);
    request.settings = Settings{urlOn("127.0.0.1", server.port()), dir, 60, 1, 2};
    std::ofstream(jpegPath(), std::ios::binary) << kOldPicture;
  }
  void TearDown() override {
    for (const char* name : {"tessaren.jpg", "tessaren.bmp", "tessaren.jpg.part"})
      DeleteFileA((dir + name).c_str());
    RemoveDirectoryA((dir + "missing\\").c_str());
    RemoveDirectoryA(dir.c_str());
    setFetchLimits(std::nullopt);
  }
  static std::string urlOn(const std::string& host, std::uint32_t port) {
    return "http://" + host + ":" + std::to_string(port) + "/picture.jpg";
  }

  // One update with the settings as set up; how long it took goes to elapsed.
  UpdateOutcome run() {
    CancelToken cancel;
    return runWith(cancel);
  }
  UpdateOutcome runWith(CancelToken& cancel) {
    Clock::time_point start = Clock::now();
    UpdateOutcome outcome = runUpdate(request, cancel);
    elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    if (outcome.applied) request.applied = *outcome.applied;
    return outcome;
  }

  std::string jpegPath() const { return dir + "tessaren.jpg"; }
  std::string bmpPath() const { return dir + "tessaren.bmp"; }

  TestHttpServer server;
  std::string dir;
  UpdateRequest request;
  milliseconds elapsed{0};
};

struct Case {
  const char* name;
  std::vector<ServerScript> scripts;  // one per connection
  const char* reason;                 // part of a failure's reason; empty for an update
  std::string picture;                // what tessaren.jpg holds afterwards; empty: the old picture
  milliseconds bound;                 // the longest the update may take, before slack
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

const std::string kPicture2048 = sampleJpeg(32, 16, 2048);
const std::string kPicture1500 = sampleJpeg(16, 16, 1500);
const std::string kSmallPicture = sampleJpeg(8, 8);
const std::string kLargePicture = sampleJpeg(256, 256);

std::string withoutLength(const std::string& body) {
  return httpResponse(200, {"Content-Type: image/jpeg"}, body);
}

std::string half(const std::string& bytes) { return bytes.substr(0, bytes.size() / 2); }

ServerScript redirectTo(const std::string& path) {
  return {ServerStep::send(httpResponse(302, {"Location: " + path, "Content-Length: 0"}))};
}

class ServerBehaviour : public FetchUnderWine, public ::testing::WithParamInterface<Case> {};

TEST_P(ServerBehaviour, ResultFilesAndTime) {
  const Case& c = GetParam();
  for (const ServerScript& script : c.scripts) server.enqueue(script);
  const UpdateOutcome outcome = run();
  std::printf("  %-40s %s (%s) in %lld ms\n", c.name, kindWord(outcome.kind).c_str(),
              outcome.reason.c_str(), static_cast<long long>(elapsed.count()));

  EXPECT_EQ(outcome.kind, *c.reason ? OutcomeKind::Failed : OutcomeKind::Updated);
  EXPECT_NE(outcome.reason.find(c.reason), std::string::npos) << outcome.reason;
  EXPECT_LE(elapsed, c.bound + kSlack);
  EXPECT_FALSE(exists(jpegPath() + ".part"));
  if (!c.picture.empty()) {
    EXPECT_EQ(readFile(jpegPath()), c.picture);
    EXPECT_EQ(readFile(bmpPath()).substr(0, 2), "BM");
  } else {
    EXPECT_EQ(readFile(jpegPath()), kOldPicture);
    EXPECT_FALSE(exists(bmpPath()));
  }
}

const milliseconds kQuick{500};
const milliseconds kReceive{kTestLimits.receiveTimeoutMs};
const milliseconds kOverall{kTestLimits.overallMs};

INSTANTIATE_TEST_SUITE_P(
    Fetch, ServerBehaviour,
    ::testing::Values(
        Case{"2048 bytes", {test::servePicture(kPicture2048)}, "", kPicture2048, kQuick},
        Case{"1500 bytes", {test::servePicture(kPicture1500)}, "", kPicture1500, kQuick},
        Case{"empty body",
             {test::servePicture("")},
             "not a picture Tessaren can read (empty)",
             "",
             kQuick},
        Case{"uneven pieces with pauses",
             {test::sendInPieces(withoutLength(kPicture2048), {90, 1, 700, 3, 333}, 40)},
             "",
             kPicture2048,
             milliseconds(800)},
        Case{"one byte at a time",
             {test::sendInPieces(test::httpResponse(200,
                                                    {"Content-Length: " +
                                                     std::to_string(kSmallPicture.size())},
                                                    kSmallPicture),
                                 {1}, 1)},
             "",
             kSmallPicture,
             milliseconds(3000)},
        Case{"404",
             {{ServerStep::send(httpResponse(404, {}, "<html>gone</html>"))}},
             "HTTP 404 Not Found",
             "",
             kQuick},
        Case{"500", {{ServerStep::send(httpResponse(500, {}, "oops"))}}, "HTTP 500", "", kQuick},
        Case{"204", {{ServerStep::send(httpResponse(204, {}))}}, "HTTP 204", "", kQuick},
        Case{
            "206",
            {{ServerStep::send(httpResponse(
                206, {"Content-Range: bytes 0-1499/1500", "Content-Length: 1500"}, kPicture1500))}},
            "HTTP 206",
            "",
            kQuick},
        Case{"redirect to the picture",
             {redirectTo("/moved.jpg"), test::servePicture(kPicture1500)},
             "",
             kPicture1500,
             kQuick},
        Case{"HTML page with status 200",
             {{ServerStep::send(httpResponse(200, {"Content-Type: text/html"},
                                             "<html><body>maintenance</body></html>"))}},
             "not a picture Tessaren can read (starts with `<html><body>maint...`)",
             "",
             kQuick},
        Case{"silence before the status line",
             {{ServerStep::silence()}},
             "no answer within 0.6 s",
             "",
             kReceive},
        Case{"headers then silence",
             {{ServerStep::send(httpResponse(200, {"Content-Length: 5000"})),
               ServerStep::silence()}},
             "no answer within 0.6 s",
             "",
             kReceive},
        Case{"closed mid-body with Content-Length",
             {{ServerStep::send(
                 httpResponse(200, {"Content-Length: " + std::to_string(kPicture2048.size())},
                              half(kPicture2048)))}},
             "body cut short: 1.0 of 2.0 KB",
             "",
             kQuick},
        Case{"closed inside the picture data without Content-Length",
             {{ServerStep::send(withoutLength(half(kLargePicture)))}},
             "JPEG cut short",
             "",
             kQuick},
        Case{"closed mid-body without Content-Length",
             {{ServerStep::send(withoutLength(half(kPicture2048)))}},
             "JPEG cut short",
             "",
             kQuick},
        Case{"endless body",
             {{ServerStep::send(withoutLength("")), ServerStep::endless(std::string(4096, 'x'))}},
             "the picture is larger than 1.0 MB",
             "",
             kOverall},
        Case{"endless trickle",
             {{ServerStep::send(withoutLength(kSmallPicture.substr(0, 100))),
               ServerStep::endless("x", 50)}},
             "the download took longer than 2.5 s",
             "",
             kOverall}),
    [](const ::testing::TestParamInfo<Case>& info) {
      std::string name;
      for (const char* p = info.param.name; *p; ++p)
        if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
      return name;
    });

TEST_F(FetchUnderWine, RequestAsItReachesTheServer) {
  server.enqueue(test::servePicture(kSmallPicture));
  ASSERT_EQ(run().kind, OutcomeKind::Updated);
  std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& sent = requests[0];
  std::printf("%s", sent.c_str());
  // On the wire Wine writes each header as "Name: value", so the second blank after
  // "Accept:" does not arrive (the native tests check the block handed to WinINet).
  EXPECT_EQ(sent.substr(0, sent.find("\r\n")), "GET /picture.jpg HTTP/1.0");
  for (const char* line :
       {"\r\nAccept: application/vnd.ms-excel, application/msword, "
        "application/vnd.ms-powerpoint, image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
        "application/x-comet, application/pdf, */*\r\n",
        "\r\nUser-Agent: Internet Browser\r\n",
        "\r\nContent-Type: application/x-www-form-urlencoded\r\n"}) {
    EXPECT_NE(sent.find(line), std::string::npos) << line;
  }
  EXPECT_EQ(sent.find("If-None-Match"), std::string::npos);
  // No body after the blank line.
  EXPECT_EQ(sent.find("\r\n\r\n") + 4, sent.size());
}

// With the flags in use (reload, no cache write) WinINet sends our validators as they are
// and hands a 304 through, so an unchanged picture costs one exchange and no writing.
TEST_F(FetchUnderWine, UnchangedPicturesAreAskedAboutAndNotWrittenAgain) {
  const std::string picture = sampleJpeg(16, 8, 1200);
  const std::vector<std::string> validators = {"ETag: \"sat-1405\"",
                                               "Last-Modified: Mon, 07 Dec 2026 13:05:00 GMT"};
  std::vector<std::string> headers = validators;
  headers.push_back("Content-Length: " + std::to_string(picture.size()));
  server.enqueue({ServerStep::send(httpResponse(200, headers, picture))});
  server.enqueue({ServerStep::send(httpResponse(304, validators))});
  server.enqueue({ServerStep::send(httpResponse(200, headers, picture))});  // ignores them

  ASSERT_EQ(run().kind, OutcomeKind::Updated);
  EXPECT_EQ(request.applied.etag, "\"sat-1405\"");
  EXPECT_EQ(request.applied.lastModified, "Mon, 07 Dec 2026 13:05:00 GMT");
  WIN32_FILE_ATTRIBUTE_DATA before{};
  ASSERT_TRUE(GetFileAttributesExA(bmpPath().c_str(), GetFileExInfoStandard, &before));
  Sleep(50);

  for (const char* how : {"not modified", "same picture"}) {
    const UpdateOutcome outcome = run();
    EXPECT_EQ(outcome.kind, OutcomeKind::Unchanged) << outcome.reason;
    EXPECT_EQ(outcome.detail, how);
    WIN32_FILE_ATTRIBUTE_DATA after{};
    ASSERT_TRUE(GetFileAttributesExA(bmpPath().c_str(), GetFileExInfoStandard, &after));
    EXPECT_EQ(CompareFileTime(&before.ftLastWriteTime, &after.ftLastWriteTime), 0) << how;
    EXPECT_FALSE(exists(jpegPath() + ".part"));
  }
  const std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  for (std::size_t i = 1; i < 3; ++i) {
    EXPECT_NE(requests[i].find("\r\nIf-None-Match: \"sat-1405\"\r\n"), std::string::npos);
    EXPECT_NE(requests[i].find("\r\nIf-Modified-Since: Mon, 07 Dec 2026 13:05:00 GMT\r\n"),
              std::string::npos);
  }
}

TEST_F(FetchUnderWine, ChangedPictureAtTheSameUrlArrivesChanged) {
  const std::string first = sampleJpeg(8, 8, 1000);
  const std::string second = sampleJpeg(16, 8, 1200);
  const std::vector<std::string> cacheable = {"Content-Type: image/jpeg",
                                              "Last-Modified: Mon, 01 Jan 2024 00:00:00 GMT",
                                              "Cache-Control: max-age=3600"};
  std::vector<std::string> headers = cacheable;
  headers.push_back("Content-Length: " + std::to_string(first.size()));
  server.enqueue({ServerStep::send(httpResponse(200, headers, first))});
  headers = cacheable;
  headers.push_back("Content-Length: " + std::to_string(second.size()));
  server.enqueue({ServerStep::send(httpResponse(200, headers, second))});

  ASSERT_EQ(run().kind, OutcomeKind::Updated);
  EXPECT_EQ(readFile(jpegPath()), first);
  ASSERT_EQ(run().kind, OutcomeKind::Updated);
  EXPECT_EQ(readFile(jpegPath()), second);
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(FetchUnderWine, UnreachableServers) {
  struct Where {
    std::string server;
    std::uint32_t port;
    std::string reason;
  };
  const std::uint32_t closed = test::closedPort();
  const Where cases[] = {
      {"127.0.0.1", closed, "can't connect to 127.0.0.1:" + std::to_string(closed)},
      {"pictures.tessaren.invalid", 80, "can't find the server pictures.tessaren.invalid"}};
  for (const Where& where : cases) {
    request.settings.url = urlOn(where.server, where.port);
    const UpdateOutcome outcome = run();
    EXPECT_EQ(outcome.reason, where.reason);
    std::printf("  %-40s in %lld ms\n", outcome.reason.c_str(),
                static_cast<long long>(elapsed.count()));
    EXPECT_LE(elapsed, milliseconds(kTestLimits.connectTimeoutMs) + kSlack);
    EXPECT_EQ(readFile(jpegPath()), kOldPicture);
  }
}

TEST_F(FetchUnderWine, MissingFolderIsCreated) {
  server.enqueue(test::servePicture(kSmallPicture));
  request.settings.temp = dir + "missing\\";
  ASSERT_EQ(run().kind, OutcomeKind::Updated);
  EXPECT_EQ(readFile(dir + "missing\\tessaren.jpg"), kSmallPicture);
  for (const char* name : {"tessaren.jpg", "tessaren.bmp"})
    DeleteFileA((dir + "missing\\" + name).c_str());
}

TEST_F(FetchUnderWine, HttpsSpeaksTls) {
  server.enqueue({});  // takes the connection and closes it
  request.settings.url = "https://127.0.0.1:" + std::to_string(server.port()) + "/picture.jpg";
  EXPECT_EQ(run().kind, OutcomeKind::Failed);
  std::vector<std::string> requests = server.requests();
  ASSERT_GE(requests.size(), 1u);
  // A TLS handshake record, not a request line in the clear.
  ASSERT_GE(requests[0].size(), 3u);
  EXPECT_EQ(static_cast<unsigned char>(requests[0][0]), 0x16);
  EXPECT_EQ(static_cast<unsigned char>(requests[0][1]), 0x03);
  EXPECT_EQ(readFile(jpegPath()), kOldPicture);
}

// Cancelled from another thread, as Exit and Save do: a download between pieces stops at
// once. Closing the handle of a call that waits on a silent server does not end the call
// under Wine (it does on Windows): it returns when the receive time-out ends it, and the
// program does not wait for that.
TEST_F(FetchUnderWine, CancelFromAnotherThread) {
  struct Case {
    const char* name;
    ServerScript script;
    milliseconds bound;
  } const cases[] = {
      {"endless trickle",
       {ServerStep::send(withoutLength(kSmallPicture.substr(0, 100))),
        ServerStep::endless("x", 20)},
       milliseconds(300)},
      {"silence", {ServerStep::silence()}, kReceive},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    server.enqueue(c.script);
    CancelToken cancel;
    std::thread canceller([&] {
      Sleep(200);
      cancel.cancel();
    });
    const UpdateOutcome outcome = runWith(cancel);
    canceller.join();
    std::printf("  %-40s cancelled after %lld ms\n", c.name,
                static_cast<long long>(elapsed.count()));
    EXPECT_EQ(outcome.reason, kCancelledReason);
    EXPECT_LE(elapsed, milliseconds(200) + c.bound + kSlack);
    EXPECT_FALSE(exists(jpegPath() + ".part"));
    EXPECT_EQ(readFile(jpegPath()), kOldPicture);
  }
}

}  // namespace
}  // namespace tessaren
