// One download: a GET of an http or https address whose body goes into a file, at the
// level of what an update needs. The Fetcher does the talking (WinINet in
// http_win32.cpp); this header also holds the policy it follows, which is portable and
// tested natively: the fixed parts of the request, which answers count, the limits that
// keep one download from holding the program or the disk for as long as a server likes,
// and the words of every reason.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "download/cancel_token.h"
#include "platform/failure.h"
#include "platform/files.h"
#include "platform/http_validators.h"

namespace tessaren {

inline const std::string kSessionAgent = "WALLPAPER";
// Sent as it always was, the two blanks after "Accept:" and the form content type of a
// request without a body included: servers out there may rely on the exact text.
inline const std::string kRequestHeaders =
    "Accept:  application/vnd.ms-excel, application/msword, application/vnd.ms-powerpoint, "
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-comet, "
    "application/pdf, */*\r\n"
    "User-Agent: Internet Browser\r\n"
    "Content-Type: application/x-www-form-urlencoded\r\n";

struct FetchLimits {
  std::uint32_t connectTimeoutMs = 30'000;
  std::uint32_t sendTimeoutMs = 30'000;
  // Longest wait for the response headers or for the next piece of the body.
  std::uint32_t receiveTimeoutMs = 30'000;
  // One download from the request to the last byte. Between pieces of the body the
  // download checks it itself; a server that holds back its headers is stopped by the
  // GUI thread, which cancels an update that runs longer than this.
  std::uint32_t overallMs = 5 * 60'000;
  std::uint64_t maxBodyBytes = std::uint64_t{256} << 20;
  int maxRedirects = 5;
};

// A request about to be made: the request's own address, or one a redirect leads to.
struct FetchHop {
  std::string url;             // as it will be asked for
  std::string redirectedFrom;  // the address that redirected here; empty for the first
  // What its host resolves to, as numbers ("192.168.1.1", "::1"); empty when the name
  // could not be looked up (WinINet will then say why it cannot connect). Once connected,
  // the one address the connection went to.
  std::vector<std::string> addresses;
  // Asked again once connected, before the request is sent: WinINet looks the name up
  // again to connect, and may get another answer (a name that answers differently each
  // time, as DNS rebinding does).
  bool connected = false;
};

// A body that turns out to be no picture may be much smaller than one: once its first bytes
// and Content-Type are known, the caller may set a lower limit and the words for it.
struct BodyLimit {
  std::uint64_t bytes = 0;
  std::string reason;  // "the page is larger than 4 MB"
};

struct FetchRequest {
  std::string url;  // absolute http or https, as sent (escaped, no fragment)
  Validators ask;   // sent as If-None-Match and If-Modified-Since when not empty
  FetchLimits limits;
  // Asked before each request, the first and every redirect, once its host has been looked
  // up, and again with the address connected to (not through a proxy, which connects for
  // us): a failure ends the fetch with it, before the request is sent. Empty: anywhere.
  std::function<std::optional<Failure>(const FetchHop&)> mayReach{};
  // Asked once, when the first kBodyHeadBytes of the body (or all of a shorter one) have
  // come, with them and the Content-Type: a lower limit for this body, or nothing.
  std::function<std::optional<BodyLimit>(std::string_view head, std::string_view contentType)>
      limitFor{};
};

// How much of a body limitFor sees: enough for a picture's signature and a document's
// first element.
constexpr std::size_t kBodyHeadBytes = 1024;

struct FetchResult {
  // Nothing: the body is in the file, closed. NotModified: the server answered 304 to our
  // validators, and the file is empty. Any other kind: what went wrong.
  std::optional<Failure> failure;
  std::uint64_t bytes = 0;
  std::string contentType;  // as sent; pass it through displaySafe before showing it
  Validators validators;    // from the 200 answer, those worth keeping
  std::string finalUrl;     // after redirects
  int redirects = 0;
  std::uint32_t status = 0;  // the last answer's HTTP status, 0 when none came
};

class Fetcher {
 public:
  virtual ~Fetcher() = default;
  // Every internet handle is closed when it returns. The body goes to body, which is
  // closed on success and left for the caller to discard otherwise.
  virtual FetchResult fetchToFile(const FetchRequest& request, OutputFile& body,
                                  CancelToken& cancel) = 0;
};

// WinINet. Windows build only.
Fetcher& platformFetcher();

// --- The policy, shared by every Fetcher. ---

// The header block of a conditional request, empty when there is nothing to ask about.
std::string conditionalHeaders(const Validators& ask);
// "HTTP 404 Not Found": the status and as much of its text as is sensible to show.
Failure statusFailure(std::uint32_t status, const std::string& text);
// The leading decimal digits of a header such as Content-Length; nothing without any.
std::optional<std::uint64_t> leadingNumber(const std::string& text);

// Failures of the transport, in the program's terms; the Fetcher maps its own codes.
enum class TransportProblem {
  TimedOut,
  NameNotResolved,
  CannotConnect,
  ConnectionClosed,
  NotHttp,
  Insecure,
  Other,
};
// "no answer within 30 s", "can't find the server pictures.example"; code is the
// system's error number, shown where the words alone would not tell enough.
Failure transportFailure(TransportProblem problem, std::uint32_t code, const std::string& host,
                         std::uint32_t port, const FetchLimits& limits);

// The body's checks, piece by piece and at its end: the size limit, the deadline, and
// the length the server announced.
class BodyPolicy {
 public:
  BodyPolicy(const FetchLimits& limits, std::chrono::steady_clock::time_point start,
             std::optional<std::uint64_t> announced);
  // With the request's limitFor and the answer's Content-Type: its limit applies from the
  // moment the body's head has come.
  BodyPolicy(const FetchRequest& request, std::chrono::steady_clock::time_point start,
             std::optional<std::uint64_t> announced, std::string contentType);
  // Before the body: an announced length beyond the limit.
  std::optional<Failure> beforeBody() const;
  // Before waiting for the next piece.
  std::optional<Failure> beforePiece(std::chrono::steady_clock::time_point now) const;
  // After a piece arrived.
  std::optional<Failure> afterPiece(std::string_view piece);
  // After the server said the body ended.
  std::optional<Failure> atEnd() const;
  std::uint64_t bytes() const { return bytes_; }

 private:
  std::optional<Failure> overLimit() const;

  const FetchLimits& limits_;
  std::chrono::steady_clock::time_point deadline_;
  std::optional<std::uint64_t> announced_;
  std::uint64_t bytes_ = 0;
  // The body's own limit, once known.
  std::function<std::optional<BodyLimit>(std::string_view, std::string_view)> limitFor_;
  std::string contentType_;
  std::string head_;
  std::optional<BodyLimit> lowered_;
};

// "30 s", "0.6 s", "5 minutes".
std::string durationText(std::uint32_t milliseconds);

}  // namespace tessaren
