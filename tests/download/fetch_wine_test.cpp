// One whole update through the real WinINet against a local server that misbehaves on
// request: the result, what the files look like afterwards, and how long it took.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "download/download_target.h"
#include "download/fetch.h"
#include "tests/download/sample_jpeg.h"
#include "tests/support/test_http_server.h"

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
    DownloadTarget& target = downloadTarget();
    target.serverName = "127.0.0.1";
    target.objectPath = "/picture.jpg ";
    target.port = server.port();
    target.secure = false;
    target.displayMode = 1;
    target.jpegPath = dir + "tessaren.jpg";
    target.bmpPath = dir + "tessaren.bmp";
    std::ofstream(target.jpegPath, std::ios::binary) << kOldPicture;
  }
  void TearDown() override {
    for (const char* name : {"tessaren.jpg", "tessaren.bmp", "tessaren.jpg.part"})
      DeleteFileA((dir + name).c_str());
    RemoveDirectoryA(dir.c_str());
    setFetchLimits(std::nullopt);
    resetDownloadTarget();
  }

  // One update with the target as set up; how long it took goes to elapsed.
  std::int32_t fetch() {
    DownloadTarget saved = downloadTarget();
    DownloadJob job;  // derives from the (empty) registry; the test's target is put back
    downloadTarget() = saved;
    Clock::time_point start = Clock::now();
    std::int32_t result = job.fetch();
    elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    return result;
  }

  std::string jpegPath() const { return dir + "tessaren.jpg"; }
  std::string bmpPath() const { return dir + "tessaren.bmp"; }

  TestHttpServer server;
  std::string dir;
  milliseconds elapsed{0};
};

struct Case {
  const char* name;
  std::vector<ServerScript> scripts;  // one per connection
  int result;
  std::string picture;  // what tessaren.jpg holds afterwards; empty: the old picture
  milliseconds bound;   // the longest the update may take, before slack
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
  const std::int32_t result = fetch();
  std::printf("  %-40s result %d in %lld ms\n", c.name, result,
              static_cast<long long>(elapsed.count()));

  EXPECT_EQ(result, c.result);
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
        Case{"2048 bytes", {test::servePicture(kPicture2048)}, 0, kPicture2048, kQuick},
        Case{"1500 bytes", {test::servePicture(kPicture1500)}, 0, kPicture1500, kQuick},
        Case{"empty body", {test::servePicture("")}, 1, "", kQuick},
        Case{"uneven pieces with pauses",
             {test::sendInPieces(withoutLength(kPicture2048), {90, 1, 700, 3, 333}, 40)},
             0,
             kPicture2048,
             milliseconds(800)},
        Case{"one byte at a time",
             {test::sendInPieces(test::httpResponse(200,
                                                    {"Content-Length: " +
                                                     std::to_string(kSmallPicture.size())},
                                                    kSmallPicture),
                                 {1}, 1)},
             0,
             kSmallPicture,
             milliseconds(3000)},
        Case{
            "404", {{ServerStep::send(httpResponse(404, {}, "<html>gone</html>"))}}, 1, "", kQuick},
        Case{"500", {{ServerStep::send(httpResponse(500, {}, "oops"))}}, 1, "", kQuick},
        Case{"204", {{ServerStep::send(httpResponse(204, {}))}}, 1, "", kQuick},
        Case{
            "206",
            {{ServerStep::send(httpResponse(
                206, {"Content-Range: bytes 0-1499/1500", "Content-Length: 1500"}, kPicture1500))}},
            1,
            "",
            kQuick},
        Case{"redirect to the picture",
             {redirectTo("/moved.jpg"), test::servePicture(kPicture1500)},
             0,
             kPicture1500,
             kQuick},
        Case{"HTML page with status 200",
             {{ServerStep::send(httpResponse(200, {"Content-Type: text/html"},
                                             "<html><body>maintenance</body></html>"))}},
             1,
             "",
             kQuick},
        Case{"silence before the status line", {{ServerStep::silence()}}, 1, "", kReceive},
        Case{"headers then silence",
             {{ServerStep::send(httpResponse(200, {"Content-Length: 5000"})),
               ServerStep::silence()}},
             1,
             "",
             kReceive},
        Case{"closed mid-body with Content-Length",
             {{ServerStep::send(
                 httpResponse(200, {"Content-Length: " + std::to_string(kPicture2048.size())},
                              half(kPicture2048)))}},
             1,
             "",
             kQuick},
        Case{"closed inside the picture data without Content-Length",
             {{ServerStep::send(withoutLength(half(kLargePicture)))}},
             1,
             "",
             kQuick},
        Case{"closed mid-body without Content-Length",
             {{ServerStep::send(withoutLength(half(kPicture2048)))}},
             1,
             "",
             kQuick},
        Case{"endless body",
             {{ServerStep::send(withoutLength("")), ServerStep::endless(std::string(4096, 'x'))}},
             1,
             "",
             kOverall},
        Case{"endless trickle",
             {{ServerStep::send(withoutLength(kSmallPicture.substr(0, 100))),
               ServerStep::endless("x", 50)}},
             1,
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
  ASSERT_EQ(fetch(), 0);
  std::vector<std::string> requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  const std::string& request = requests[0];
  std::printf("%s", request.c_str());
  // The object path and the block reach WinINet unchanged (the native tests check the
  // calls); on the wire Wine drops the path's trailing blank and writes each header as
  // "Name: value", so the second blank after "Accept:" does not arrive.
  EXPECT_EQ(request.substr(0, request.find("\r\n")), "GET /picture.jpg HTTP/1.0");
  for (const char* line :
       {"\r\nAccept: application/vnd.ms-excel, application/msword, "
        "application/vnd.ms-powerpoint, image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, "
        "application/x-comet, application/pdf, */*\r\n",
        "\r\nUser-Agent: Internet Browser\r\n",
        "\r\nContent-Type: application/x-www-form-urlencoded\r\n"}) {
    EXPECT_NE(request.find(line), std::string::npos) << line;
  }
  // No body after the blank line.
  EXPECT_EQ(request.find("\r\n\r\n") + 4, request.size());
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

  ASSERT_EQ(fetch(), 0);
  EXPECT_EQ(readFile(jpegPath()), first);
  ASSERT_EQ(fetch(), 0);
  EXPECT_EQ(readFile(jpegPath()), second);
  EXPECT_EQ(server.requests().size(), 2u);
}

TEST_F(FetchUnderWine, UnreachableServers) {
  struct Where {
    const char* name;
    std::string server;
    std::uint32_t port;
  };
  const Where cases[] = {{"connection refused", "127.0.0.1", test::closedPort()},
                         {"unresolvable name", "pictures.tessaren.invalid", 80}};
  for (const Where& where : cases) {
    SCOPED_TRACE(where.name);
    downloadTarget().serverName = where.server;
    downloadTarget().port = where.port;
    EXPECT_EQ(fetch(), 1);
    std::printf("  %-40s in %lld ms\n", where.name, static_cast<long long>(elapsed.count()));
    EXPECT_LE(elapsed, milliseconds(kTestLimits.connectTimeoutMs) + kSlack);
    EXPECT_EQ(readFile(jpegPath()), kOldPicture);
  }
}

TEST_F(FetchUnderWine, MissingDirectoryLeavesNoFiles) {
  server.enqueue(test::servePicture(kSmallPicture));
  downloadTarget().jpegPath = dir + "missing\\tessaren.jpg";
  EXPECT_EQ(fetch(), 1);
  EXPECT_FALSE(exists(dir + "missing"));
  EXPECT_FALSE(exists(bmpPath()));
}

TEST_F(FetchUnderWine, HttpsSpeaksTls) {
  server.enqueue({});  // takes the connection and closes it
  downloadTarget().secure = true;
  EXPECT_EQ(fetch(), 1);
  std::vector<std::string> requests = server.requests();
  ASSERT_GE(requests.size(), 1u);
  // A TLS handshake record, not a request line in the clear.
  ASSERT_GE(requests[0].size(), 3u);
  EXPECT_EQ(static_cast<unsigned char>(requests[0][0]), 0x16);
  EXPECT_EQ(static_cast<unsigned char>(requests[0][1]), 0x03);
  EXPECT_EQ(readFile(jpegPath()), kOldPicture);
}

}  // namespace
}  // namespace tessaren
