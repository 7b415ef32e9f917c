// The picture request over HTTP: the fixed parts of the request, the limits that keep
// one download from holding the program or the disk for as long as a server likes, and
// the fetch itself, which stores the body in a partial file and says what happened.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "download/cancel_token.h"
#include "download/download_target.h"
#include "download/partial_file.h"

namespace tessaren {

inline const std::string kSessionAgent = "WALLPAPER";
inline const std::string kRequestVerb = "GET";
inline const std::string kRequestVersion = "HTTP/1.0";
// Sent as it always was, the two blanks after "Accept:" and the form content type of a
// request without a body included: servers out there may rely on the exact text.
inline const std::string kRequestHeaders =
    "Accept:  application/vnd.ms-excel, application/msword, application/vnd.ms-powerpoint, "
    "image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/x-comet, "
    "application/pdf, */*\r\n"
    "User-Agent: Internet Browser\r\n"
    "Content-Type: application/x-www-form-urlencoded\r\n";
constexpr std::uint32_t kBodyChunkSize = 1024;
constexpr std::uint32_t kStatusBufferSize = 80;

struct FetchLimits {
  std::uint32_t connectTimeoutMs = 30'000;
  std::uint32_t sendTimeoutMs = 30'000;
  // Longest wait for the response headers or for the next piece of the body.
  std::uint32_t receiveTimeoutMs = 30'000;
  // One download from opening the session to the last byte; checked between pieces of
  // the body, so a download ends at most one receive time-out after it.
  std::uint32_t overallMs = 5 * 60'000;
  std::uint64_t maxBodyBytes = std::uint64_t{256} << 20;
};

// The limits in force: the product's unless a test build has scaled them down.
const FetchLimits& fetchLimits();
// For test programs only; std::nullopt returns to the product's limits.
void setFetchLimits(std::optional<FetchLimits> limits);

// The request flags: reuse a connection, never answer from or write to the cache (a
// picture that changes at the same URL must arrive changed), TLS for https.
std::uint32_t requestFlags(bool secure);

// Where the body is stored until it has been applied: beside jpegPath, so that the move
// over jpegPath stays on one volume.
std::string partialDownloadPath(const std::string& jpegPath);

// What the server said about the picture's version, exactly as sent.
struct Validators {
  std::string etag;
  std::string lastModified;
  bool operator==(const Validators&) const = default;
};

enum class FetchStatus { Downloaded, NotModified, Failed, Cancelled };

struct FetchResult {
  FetchStatus status = FetchStatus::Failed;
  std::string reason;  // for Failed: what went wrong, in words a user can act on
  std::uint64_t bytes = 0;
  std::string contentType;
  Validators validators;  // from a 200 answer
};

// Sends the request, conditional when ask holds validators (If-None-Match,
// If-Modified-Since). On 200 the whole body is stored in part, closed, and left there for
// the caller to apply; on 304 nothing is written. Every internet handle is closed when it
// returns.
FetchResult fetchPicture(const DownloadTarget& target, const Validators& ask, PartialFile& part,
                         CancelToken& cancel);

// The words for a WinINet failure: "no answer within 30 s", "can't find the server ...".
std::string describeInternetError(std::uint32_t code, const DownloadTarget& target,
                                  const FetchLimits& limits);

}  // namespace tessaren
