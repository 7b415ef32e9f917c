// The download's policy, which every Fetcher follows: what is asked, which validators are
// kept, the words of each failure and the body's limits.
#include <gtest/gtest.h>

#include <utility>

#include "download/fetch.h"

namespace tessaren {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

bool hasControl(const std::string& text) {
  for (char c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) return true;
  return false;
}

// A validator goes back exactly as it came, high bytes included, unless it would end our
// header line or is longer than any server needs.
TEST(FetchPolicy, ValidatorsAndTheConditionalRequest) {
  struct Case {
    Validators sent;
    std::string headers;
  } const cases[] = {
      {{"\"v1\"", "Mon, 07 Dec 2026 13:05:00 GMT"},
       "If-None-Match: \"v1\"\r\nIf-Modified-Since: Mon, 07 Dec 2026 13:05:00 GMT\r\n"},
      {{"\"v\xe9\"", ""}, "If-None-Match: \"v\xe9\"\r\n"},
      {{"\"a\"\r\nX-Injected: 1", "\tnow"}, ""},
      {{std::string(257, 'e'), std::string(256, 'd')},
       "If-Modified-Since: " + std::string(256, 'd') + "\r\n"},
      {{"", ""}, ""},
  };
  for (const Case& c : cases) {
    const Validators kept{keptValidator(c.sent.etag), keptValidator(c.sent.lastModified)};
    EXPECT_EQ(conditionalHeaders(kept), c.headers);
  }
  EXPECT_EQ(conditionalHeaders({"\"a\"\r\nX-Injected: 1", std::string(300, 'd')}), "")
      << "the conditions are filtered where they are made, too";
  EXPECT_EQ(keptValidator(std::string(256, 'd')), std::string(256, 'd'));
}

TEST(FetchPolicy, WordsOfEachFailure) {
  const FetchLimits limits{.receiveTimeoutMs = 30'000, .overallMs = 5 * 60'000};
  struct Case {
    Failure failure;
    FailureKind kind;
    const char* detail;
  } const cases[] = {
      {statusFailure(404, "Not Found"), FailureKind::NotFound, "HTTP 404 Not Found"},
      {statusFailure(410, "Gone"), FailureKind::NotFound, "HTTP 410 Gone"},
      {statusFailure(500, ""), FailureKind::HttpStatus, "HTTP 500"},
      {statusFailure(407, "Proxy Authentication Required"), FailureKind::HttpStatus,
       "the proxy asks for a sign-in (HTTP 407)"},
      {statusFailure(503, "Busy\tupdated\tevil.example\r\nforged"), FailureKind::HttpStatus,
       "HTTP 503 Busy updated evil.example  forged"},
      {statusFailure(500, std::string(100, 'z')), FailureKind::HttpStatus,
       "HTTP 500 zzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzzz..."},
      {transportFailure(TransportProblem::TimedOut, 12002, "h", 80, limits), FailureKind::TimedOut,
       "no answer within 30 s"},
      {transportFailure(TransportProblem::NameNotResolved, 12007, "pictures.example", 80, limits),
       FailureKind::Unreachable, "can't find the server pictures.example"},
      {transportFailure(TransportProblem::CannotConnect, 12029, "127.0.0.1", 8080, limits),
       FailureKind::Unreachable, "can't connect to 127.0.0.1:8080"},
      {transportFailure(TransportProblem::ConnectionClosed, 12030, "h", 80, limits),
       FailureKind::Unreachable, "the server closed the connection"},
      {transportFailure(TransportProblem::NotHttp, 12152, "h", 80, limits), FailureKind::NotHttp,
       "the server's answer is not HTTP"},
      {transportFailure(TransportProblem::Insecure, 12045, "bank.example", 443, limits),
       FailureKind::Insecure, "no trusted secure connection to bank.example (error 12045)"},
      {transportFailure(TransportProblem::Other, 12345, "h", 80, limits), FailureKind::Unreachable,
       "network error 12345"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.failure.kind, c.kind) << c.detail;
    EXPECT_EQ(c.failure.detail, c.detail);
    EXPECT_FALSE(hasControl(c.failure.detail));
  }
  EXPECT_EQ(durationText(600), "0.6 s");
  EXPECT_EQ(durationText(300'000), "5 minutes");
  EXPECT_EQ(leadingNumber("1500"), 1500u);
  EXPECT_EQ(leadingNumber("12abc"), 12u);
  EXPECT_EQ(leadingNumber("abc"), std::nullopt);
  EXPECT_GE(leadingNumber("99999999999999999999999"), std::uint64_t{1} << 62)
      << "saturates, never wraps";
}

// The body piece by piece: the size limit, announced or not, and the lower one of a body
// whose first bytes show a page; the deadline; a body that ends before or after the length
// the server announced.
TEST(FetchPolicy, TheBodysLimits) {
  const FetchLimits limits{.overallMs = 1000, .maxBodyBytes = 4096};
  FetchRequest request;
  request.limits = limits;
  request.limitFor = [](std::string_view head, std::string_view type) -> std::optional<BodyLimit> {
    if (head.size() != kBodyHeadBytes || type != "text/html") return std::nullopt;
    if (head.front() != '<') return std::nullopt;
    return BodyLimit{2048, "the page is larger than 2 KB"};
  };
  const Clock::time_point start{};
  struct Case {
    const char* what;
    std::optional<std::uint64_t> announced;
    std::vector<std::uint64_t> pieces;
    const char* failure;  // the start of the reason; empty for a whole body
    char first = 'x';     // the body's first byte; the rest is 'x'
  } const cases[] = {
      {"a page stops at its own limit, in the piece that passes it",
       {},
       {700, 700, 700},
       "the page is larger than 2 KB",
       '<'},
      {"a page within its limit", {}, {1000, 1048}, "", '<'},
      {"a picture has the picture's limit", {}, {1000, 3096}, "", '\xFF'},
      {"whole, announced", 3000, {1000, 2000}, ""},
      {"whole, not announced", {}, {4096}, ""},
      {"announced too large", 5000, {}, "the picture is too large: 5 KB (at most 4 KB)"},
      {"grows too large", {}, {4000, 97}, "the picture is larger than 4 KB"},
      {"cut short", 3000, {1024}, "body cut short: 1.0 of 2.9 KB"},
      {"longer than announced", 1000, {1500}, "body longer than announced: 1.5 of 1.0 KB"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BodyPolicy policy(request, start, c.announced, "text/html");
    std::optional<Failure> failure = policy.beforeBody();
    bool first = true;
    for (std::uint64_t size : c.pieces) {
      if (failure) break;
      std::string piece(size, 'x');
      if (std::exchange(first, false)) piece.front() = c.first;
      failure = policy.afterPiece(piece);
    }
    if (!failure) failure = policy.atEnd();
    if (*c.failure) {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->detail.rfind(c.failure, 0), 0u) << failure->detail;
    } else {
      EXPECT_FALSE(failure) << failure->detail;
    }
  }
  BodyPolicy policy(limits, start, {});
  EXPECT_FALSE(policy.beforePiece(start + 999ms));
  const auto late = policy.beforePiece(start + 1000ms);
  ASSERT_TRUE(late);
  EXPECT_EQ(late->kind, FailureKind::TimedOut);
  EXPECT_EQ(late->detail, "the download took longer than 1 s");
}

}  // namespace
}  // namespace tessaren
