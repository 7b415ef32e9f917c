// The download on the wire: the real WinINet against the test server misbehaving on
// request. What each answer becomes, what reaches the server (headers, validators,
// cookies, sign-in, TLS), redirects and their limit, time limits, and cancelling from
// another thread.
#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "download/fetch.h"
#include "source/find_picture.h"
#include "source/network_scope.h"
#include "tests/support/picture_server.h"

namespace tessaren {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
using test::PictureServer;

// Scaled down from the program's so that every stall ends within a second or two.
constexpr FetchLimits kTestLimits{.connectTimeoutMs = 1000,
                                  .sendTimeoutMs = 1000,
                                  .receiveTimeoutMs = 600,
                                  .overallMs = 2500,
                                  .maxBodyBytes = 1 << 20,
                                  .maxRedirects = 5};
// Slack on top of a limit for Wine and a busy machine: well short of what a limit not kept
// would take (a stall that never ends, a trickle of minutes).
constexpr milliseconds kSlack{10000};

std::string readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// Counts what reaches the file.
class CountingFile final : public OutputFile {
 public:
  explicit CountingFile(std::unique_ptr<OutputFile> file) : file_(std::move(file)) {}
  bool write(const void* data, std::size_t size) override {
    written += size;
    return file_->write(data, size);
  }
  bool close() override { return file_->close(); }
  bool moveOver(const std::string& destination) override { return file_->moveOver(destination); }
  const std::string& path() const override { return file_->path(); }
  const Failure& failure() const override { return file_->failure(); }
  std::uint64_t written = 0;

 private:
  std::unique_ptr<OutputFile> file_;
};

// 2 KB of bytes that are no picture: the download does not look inside.
const std::string kBody = [] {
  std::string body(2048, '\0');
  for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i * 7 + i / 256);
  return body;
}();

class FetchOnTheWire : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(server.ready()) << "run through tests/support/with_picture_server.sh";
    server.put("p.jpg", kBody);
    server.put("small.jpg", kBody.substr(0, 300));
    char temp[MAX_PATH];
    ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
    bodyPath = std::string(temp) + "tessaren-fetch-" + std::to_string(GetCurrentProcessId());
    server.clearLog();
  }

  // One fetch of path into a file of its own; the file is left only on success.
  FetchResult fetch(const std::string& path, const Validators& ask = {}) {
    CancelToken cancel;
    return fetchWith(path, ask, cancel);
  }
  FetchResult fetchWith(const std::string& path, const Validators& ask, CancelToken& cancel) {
    Failure why;
    auto file = platformFiles().create(bodyPath, why);
    EXPECT_TRUE(file) << why.detail;
    auto body = std::make_unique<CountingFile>(std::move(file));
    const Clock::time_point start = Clock::now();
    request.url = server.url(path);
    request.ask = ask;
    FetchResult result = platformFetcher().fetchToFile(request, *body, cancel);
    written = body->written;
    elapsed = std::chrono::duration_cast<milliseconds>(Clock::now() - start);
    if (!result.failure) {
      body->moveOver(bodyPath + ".done");
      kept = readFile(bodyPath + ".done");
      DeleteFileA((bodyPath + ".done").c_str());
    }
    body.reset();
    EXPECT_FALSE(exists(bodyPath)) << "a body that is not kept goes";
    return result;
  }

  PictureServer server;
  FetchRequest request{"", {}, kTestLimits};
  std::string bodyPath;
  std::string kept;
  std::uint64_t written = 0;
  milliseconds elapsed{0};
};

TEST_F(FetchOnTheWire, AnswersAndWhatBecomesOfThem) {
  struct Case {
    const char* path;
    std::optional<FailureKind> kind;  // nothing: the body arrives whole
    const char* detail;
    std::size_t bytes;
    milliseconds bound;
  } const cases[] = {
      {"/p.jpg", {}, "", 2048, milliseconds(500)},
      {"/p.jpg?length=0&pieces=90,1,700,3,333&pause=40", {}, "", 2048, milliseconds(800)},
      {"/small.jpg?pieces=1&pause=1", {}, "", 300, milliseconds(3000)},
      // WinINet reads a connection closed without Content-Length as a normal end.
      {"/p.jpg?cut=half&length=0", {}, "", 1024, milliseconds(500)},
      {"/p.jpg?status=404&text=Not%20Found", FailureKind::NotFound, "HTTP 404 Not Found", 0,
       milliseconds(500)},
      {"/p.jpg?status=500&text=Oops%09%0Dsecret", FailureKind::HttpStatus, "HTTP 500 Oops", 0,
       milliseconds(500)},
      {"/p.jpg?status=204", FailureKind::HttpStatus, "HTTP 204", 0, milliseconds(500)},
      {"/p.jpg?status=206", FailureKind::HttpStatus, "HTTP 206", 0, milliseconds(500)},
      {"/p.jpg?announce=999999999", FailureKind::TooLarge, "the picture is too large: 954 MB", 0,
       milliseconds(500)},
      {"/stall/p.jpg", FailureKind::TimedOut, "no answer within 0.6 s", 0, milliseconds(600)},
      {"/p.jpg?silence=headers", FailureKind::TimedOut, "no answer within 0.6 s", 0,
       milliseconds(600)},
      {"/p.jpg?cut=half", FailureKind::CutShort, "body cut short: 1.0 of 2.0 KB", 0,
       milliseconds(500)},
      {"/p.jpg?length=0&endless=4096", FailureKind::TooLarge, "the picture is larger than 1 MB", 0,
       milliseconds(2500)},
      {"/p.jpg?length=0&trickle=50", FailureKind::TimedOut, "the download took longer than 2.5 s",
       0, milliseconds(2500)},
      {"/nowhere.jpg", FailureKind::NotFound, "HTTP 404 Not Found", 0, milliseconds(500)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const FetchResult result = fetch(c.path);
    std::printf("  %-50s %s in %lld ms\n", c.path,
                result.failure ? result.failure->detail.c_str() : "whole",
                static_cast<long long>(elapsed.count()));
    if (c.kind) {
      ASSERT_TRUE(result.failure);
      EXPECT_EQ(result.failure->kind, *c.kind);
      EXPECT_EQ(result.failure->detail.rfind(c.detail, 0), 0u) << result.failure->detail;
    } else {
      ASSERT_FALSE(result.failure) << result.failure->detail;
      EXPECT_EQ(kept, kBody.substr(0, c.bytes));
      EXPECT_EQ(result.bytes, c.bytes);
    }
    EXPECT_LE(elapsed, c.bound + kSlack);
  }
}

TEST_F(FetchOnTheWire, RequestAsItReachesTheServer) {
  ASSERT_FALSE(fetch("/p.jpg?cookie=1").failure);
  ASSERT_FALSE(fetch("/p.jpg").failure);
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  // On the wire Wine writes each header as "Name: value", so the second blank after
  // "Accept:" does not arrive.
  for (const char* header :
       {"Accept: application/vnd.ms-excel, application/msword, application/vnd.ms-powerpoint, "
        "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-comet, "
        "application/pdf, */*",
        "User-Agent: Internet Browser", "Content-Type: application/x-www-form-urlencoded"}) {
    std::string escaped;
    for (char c : std::string(header))
      escaped += c == ' ' ? std::string("\\x20") : std::string(1, c);
    EXPECT_NE(requests[0].headers.find(escaped), std::string::npos) << header;
  }
  EXPECT_EQ(requests[0].ifNoneMatch, "-");
  // No cookie is kept from one request to the next.
  EXPECT_EQ(requests[1].cookie, "-");
}

// The validators go back exactly as they came, the high bytes included, and a 304 is
// handed through; a validator that would end our header line is never sent.
TEST_F(FetchOnTheWire, ConditionalRequests) {
  const FetchResult first = fetch("/p.jpg?etag=2276e92d3122");  // "v\xe9-1"
  ASSERT_FALSE(first.failure);
  EXPECT_EQ(first.validators.etag, "\"v\xe9-1\"");
  EXPECT_FALSE(first.validators.lastModified.empty());

  const FetchResult second = fetch("/p.jpg?etag=2276e92d3122", first.validators);
  ASSERT_TRUE(second.failure);
  EXPECT_EQ(second.failure->kind, FailureKind::NotModified);

  const FetchResult forged = fetch("/p.jpg", {"\"a\"\r\nX-Injected: 1", ""});
  EXPECT_FALSE(forged.failure);
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 3u);
  EXPECT_EQ(requests[1].ifNoneMatch, "\"v\\xe9-1\"");
  EXPECT_EQ(requests[2].ifNoneMatch, "-");
  EXPECT_EQ(requests[2].headers.find("X-Injected"), std::string::npos);
}

TEST_F(FetchOnTheWire, RedirectsAreFollowedAndCounted) {
  const FetchResult moved = fetch("/old.jpg?status=302&location=/p.jpg");
  ASSERT_FALSE(moved.failure) << moved.failure->detail;
  EXPECT_EQ(kept, kBody);
  EXPECT_EQ(moved.redirects, 1);
  EXPECT_EQ(moved.finalUrl, server.url("/p.jpg"));

  const FetchResult five = fetch("/p.jpg?hops=5");
  ASSERT_FALSE(five.failure) << five.failure->detail;
  EXPECT_EQ(five.redirects, 5);
  server.clearLog();
  const FetchResult six = fetch("/p.jpg?hops=6");
  ASSERT_TRUE(six.failure);
  EXPECT_EQ(six.failure->kind, FailureKind::TooManyRedirects);
  EXPECT_EQ(six.failure->detail, "more than 5 redirects");
  EXPECT_EQ(server.requests().size(), 6u) << "the sixth redirect is not followed";
}

// A Location is resolved against the address that answered with it, the fragment dropped;
// where it leads must again be a usable address, and one that is no address at all leaves
// the redirect's own status as the failure.
TEST_F(FetchOnTheWire, RedirectLocationsAreResolvedAgainstTheCurrentAddress) {
  struct Case {
    const char* path;
    const char* finalPath;  // nullptr: the fetch fails with detail
    const char* detail;
  } const cases[] = {
      {"/dir/old.jpg?status=302&location=..%2Fp.jpg%23top", "/p.jpg", ""},
      {"/dir/old.jpg?status=307&location=%2E%2E%2F.%2Fp.jpg%3Fv%3D1", "/p.jpg?v=1", ""},
      {"/old.jpg?status=301&location=ftp%3A%2F%2Fh.example%2Fp.jpg", nullptr,
       "not a usable URL: ftp://h.example/p.jpg"},
      {"/old.jpg?status=302&text=Found&location=http%3A%2F%2F%5B%3A%3A1%2Fx", nullptr,
       "HTTP 302 Found"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    const FetchResult result = fetch(c.path);
    if (c.finalPath != nullptr) {
      ASSERT_FALSE(result.failure) << result.failure->detail;
      EXPECT_EQ(result.finalUrl, server.url(c.finalPath));
      EXPECT_EQ(kept, kBody);
    } else {
      ASSERT_TRUE(result.failure);
      EXPECT_EQ(result.failure->detail, c.detail);
    }
  }
}

// Before each request, the first and every redirect, the caller learns where it leads, by
// the addresses its host resolves to, and may stop it there: a redirect to a name on the
// user's own computer is refused by the rule for addresses a redirect names, before anything
// reaches it.
TEST_F(FetchOnTheWire, EachRequestIsShownWhereItLeadsFirst) {
  const std::string local =
      "http://localhost:" + server.hostAndPort().substr(server.hostAndPort().find(':') + 1) +
      "/p.jpg";
  std::vector<FetchHop> hops;
  NetworkScope scope;  // as for a typed address on the internet
  request.mayReach = [&](const FetchHop& hop) {
    if (hop.connected) return std::optional<Failure>();  // the next test's
    hops.push_back(hop);
    if (hops.size() == 1) return std::optional<Failure>();
    return scope.check({Hop::Origin::Redirect, hop.url, hop.redirectedFrom, hop.addresses});
  };
  const FetchResult result = fetch("/old.jpg?status=302&location=" + local);
  ASSERT_EQ(hops.size(), 2u);
  EXPECT_EQ(hops[0].url, server.url("/old.jpg?status=302&location=" + local));
  EXPECT_EQ(hops[0].redirectedFrom, "");
  EXPECT_EQ(hops[0].addresses, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(hops[1].url, local);
  EXPECT_EQ(hops[1].redirectedFrom, hops[0].url);
  EXPECT_FALSE(hops[1].addresses.empty()) << "localhost is looked up";
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->kind, FailureKind::NotAllowed);
  EXPECT_EQ(result.failure->detail,
            "a redirect leads to a private network address: " + hops[1].addresses.front());
  EXPECT_EQ(server.requests().size(), 1u) << "nothing reached the redirect's target";
}

// Judged again at the address WinINet connected to: a refusal ends the fetch, no body read
// (the request closed there is not sent on Windows; Wine sends it all the same).
TEST_F(FetchOnTheWire, TheAddressConnectedToIsJudgedBeforeTheRequest) {
  request.mayReach = [](const FetchHop& hop) -> std::optional<Failure> {
    if (!hop.connected) return std::nullopt;
    return Failure{FailureKind::NotAllowed, "refused at " + hop.addresses.front()};
  };
  const FetchResult result = fetch("/p.jpg");
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->detail, "refused at 127.0.0.1");
  EXPECT_EQ(written, 0u);
  std::printf("  requests that reached the server: %zu\n", server.requests().size());
}

// A body whose first bytes show a page stops at the page's limit as it arrives, whatever
// the picture's limit; an endless one writes no more than that.
TEST_F(FetchOnTheWire, AnEndlessPageStopsAtThePagesLimit) {
  request.limits.maxBodyBytes = std::uint64_t{256} << 20;
  request.limits.overallMs = 30'000;
  request.limitFor = documentLimitFor;
  const FetchResult page = fetch("/p.jpg?length=0&endless=4096&type=text/html");
  ASSERT_TRUE(page.failure);
  EXPECT_EQ(page.failure->kind, FailureKind::TooLarge);
  EXPECT_EQ(page.failure->detail, "the page is larger than 4 MB");
  EXPECT_LE(written, kMaxDocumentBytes);
  std::printf("  an endless page wrote %llu bytes in %lld ms\n",
              static_cast<unsigned long long>(written), static_cast<long long>(elapsed.count()));
}

// No automatic sign-in: a server asking for NTLM gets its 401 back, and no second request.
TEST_F(FetchOnTheWire, NoAutomaticSignIn) {
  const FetchResult result = fetch("/p.jpg?auth=NTLM");
  ASSERT_TRUE(result.failure);
  EXPECT_EQ(result.failure->detail, "HTTP 401 Unauthorized");
  const auto requests = server.requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].authorization, "-");
}

TEST_F(FetchOnTheWire, HttpsSpeaksTls) {
  CancelToken cancel;
  Failure why;
  auto body = platformFiles().create(bodyPath, why);
  ASSERT_TRUE(body);
  const FetchResult result = platformFetcher().fetchToFile(
      {"https://" + server.hostAndPort() + "/p.jpg", {}, kTestLimits}, *body, cancel);
  EXPECT_TRUE(result.failure);
  const auto requests = server.requests();
  ASSERT_GE(requests.size(), 1u);
  // A TLS handshake record, not a request line in the clear.
  EXPECT_EQ(requests[0].path, "!");
  EXPECT_EQ(requests[0].ifNoneMatch.substr(0, 4), "1603");
}

TEST_F(FetchOnTheWire, UnreachableServers) {
  // A port nobody listens on: bind one, then let it go.
  SOCKET probe = INVALID_SOCKET;
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  const unsigned port = ntohs(address.sin_port);
  closesocket(probe);

  struct Where {
    std::string url;
    std::string detail;
  } const cases[] = {
      {"http://127.0.0.1:" + std::to_string(port) + "/p.jpg",
       "can't connect to 127.0.0.1:" + std::to_string(port)},
      {"http://pictures.tessaren.invalid/p.jpg", "can't find the server pictures.tessaren.invalid"},
  };
  for (const Where& where : cases) {
    CancelToken cancel;
    Failure why;
    auto body = platformFiles().create(bodyPath, why);
    ASSERT_TRUE(body);
    const FetchResult result =
        platformFetcher().fetchToFile({where.url, {}, kTestLimits}, *body, cancel);
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->kind, FailureKind::Unreachable);
    EXPECT_EQ(result.failure->detail, where.detail);
  }
}

// Cancelled from another thread, as Exit and Save do: a download between pieces stops at
// once. Closing the handle of a call that waits on a silent server does not end the call
// under Wine (it does on Windows): it returns when the receive time-out ends it.
TEST_F(FetchOnTheWire, CancelFromAnotherThread) {
  struct Case {
    const char* path;
    milliseconds bound;
  } const cases[] = {{"/p.jpg?length=0&trickle=20", milliseconds(300)},
                     {"/stall/p.jpg", milliseconds(kTestLimits.receiveTimeoutMs)}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    CancelToken cancel;
    std::thread canceller([&] {
      Sleep(200);
      cancel.cancel();
    });
    const FetchResult result = fetchWith(c.path, {}, cancel);
    canceller.join();
    std::printf("  %-40s cancelled after %lld ms\n", c.path,
                static_cast<long long>(elapsed.count()));
    ASSERT_TRUE(result.failure);
    EXPECT_EQ(result.failure->kind, FailureKind::Cancelled);
    EXPECT_LE(elapsed, milliseconds(200) + c.bound + kSlack);
  }
}

}  // namespace
}  // namespace tessaren
