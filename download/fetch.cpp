// The picture request: one GET over WinINet, the body streamed into a partial file,
// every way out named in words a user can act on.
#include "download/fetch.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <utility>

#include "platform/text.h"

namespace tessaren {
namespace {

using Clock = std::chrono::steady_clock;

// Validators longer than this are not kept: no server needs them, and they go back into
// our request headers.
constexpr std::uint32_t kLongestValidator = 256;

std::optional<FetchLimits>& limitsOverride() {
  static std::optional<FetchLimits> limits;
  return limits;
}

// The leading decimal digits of text, saturating rather than wrapping; none gives nothing.
std::optional<std::uint64_t> leadingNumber(const std::string& text) {
  constexpr std::uint64_t kCeiling = std::uint64_t{1} << 62;
  std::uint64_t number = 0;
  std::size_t digits = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    if (number < kCeiling) number = number * 10 + static_cast<std::uint64_t>(text[digits] - '0');
  }
  if (digits == 0) return std::nullopt;
  return number;
}

// A header's value as text, or nothing when the server sent none (or one too long to keep).
std::optional<std::string> headerText(HttpApi& http, InternetHandle request, std::uint32_t which,
                                      std::uint32_t room) {
  std::string buffer(room, '\0');
  std::uint32_t length = room;
  if (!http.queryInfo(request, which, buffer.data(), length)) return std::nullopt;
  buffer.resize(std::min(length, room));
  return buffer;
}

// Text from a server or the registry that is safe inside a header line or a log line.
bool isPrintable(const std::string& text) {
  return std::none_of(text.begin(), text.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7f;
  });
}

std::string conditionalHeaders(const Validators& ask) {
  std::string headers;
  if (!ask.etag.empty() && ask.etag.size() <= kLongestValidator && isPrintable(ask.etag))
    headers += "If-None-Match: " + ask.etag + "\r\n";
  if (!ask.lastModified.empty() && ask.lastModified.size() <= kLongestValidator &&
      isPrintable(ask.lastModified))
    headers += "If-Modified-Since: " + ask.lastModified + "\r\n";
  return headers;
}

std::string statusReason(const std::string& code, const std::optional<std::string>& text) {
  std::string reason = "HTTP ";
  reason.append(code, 0, 3);
  if (text && !text->empty() && isPrintable(*text)) {
    reason.push_back(' ');
    reason.append(utf8Prefix(*text, 40));
  }
  return reason;
}

// "30 s", "0.3 s", "5 minutes".
std::string durationText(std::uint32_t milliseconds) {
  if (milliseconds >= 60'000 && milliseconds % 60'000 == 0)
    return std::to_string(milliseconds / 60'000) + " minutes";
  if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000.0);
  return text;
}

FetchResult failed(std::string reason) {
  FetchResult result;
  result.status = FetchStatus::Failed;
  result.reason = std::move(reason);
  return result;
}

FetchResult cancelled() {
  FetchResult result;
  result.status = FetchStatus::Cancelled;
  result.reason = "cancelled";
  return result;
}

// The attached request, closed through the token when the fetch ends.
class AttachedRequest {
 public:
  explicit AttachedRequest(CancelToken& cancel) : cancel_(cancel) {}
  ~AttachedRequest() { cancel_.release(); }
  AttachedRequest(const AttachedRequest&) = delete;
  AttachedRequest& operator=(const AttachedRequest&) = delete;

 private:
  CancelToken& cancel_;
};

// Discards the body file on a failed download before the internet handles close.
class DiscardUnlessKept {
 public:
  explicit DiscardUnlessKept(PartialFile& part) : part_(part) {}
  ~DiscardUnlessKept() {
    if (!kept_) part_.discard();
  }
  DiscardUnlessKept(const DiscardUnlessKept&) = delete;
  DiscardUnlessKept& operator=(const DiscardUnlessKept&) = delete;
  void keep() { kept_ = true; }

 private:
  PartialFile& part_;
  bool kept_ = false;
};

}  // namespace

const FetchLimits& fetchLimits() {
  static const FetchLimits product;
  return limitsOverride() ? *limitsOverride() : product;
}

void setFetchLimits(std::optional<FetchLimits> limits) { limitsOverride() = std::move(limits); }

std::uint32_t requestFlags(bool secure) {
  return kFlagExistingConnect | kFlagReload | kFlagNoCacheWrite | (secure ? kFlagSecure : 0);
}

std::string partialDownloadPath(const std::string& jpegPath) { return jpegPath + ".part"; }

std::string describeInternetError(std::uint32_t code, const DownloadTarget& target,
                                  const FetchLimits& limits) {
  switch (code) {
    case kErrorTimeout:
    case kWinsockTimedOut:
      return "no answer within " +
             durationText(std::min(limits.receiveTimeoutMs, limits.overallMs));
    case kErrorNameNotResolved:
      return "can't find the server " + target.serverName;
    case kErrorCannotConnect:
      return "can't connect to " + target.serverName + ":" + std::to_string(target.port);
    case kErrorConnectionAborted:
    case kErrorConnectionReset:
      return "the server closed the connection";
    case kErrorInvalidResponse:
      return "the server's answer is not HTTP";
  }
  // The certificate errors (12037 to 12057, 12169 to 12171) all mean one thing to a user.
  if ((code >= 12037 && code <= 12057) || (code >= 12169 && code <= 12171) || code == 12157)
    return "no trusted secure connection to " + target.serverName + " (error " +
           std::to_string(code) + ")";
  return "network error " + std::to_string(code);
}

FetchResult fetchPicture(const DownloadTarget& target, const Validators& ask, PartialFile& part,
                         CancelToken& cancel) {
  const FetchLimits& limits = fetchLimits();
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.overallMs);
  HttpApi& http = httpApi();
  // How long the last waiting call took: Wine reports a receive time-out as a closed or
  // timed-out socket (12030, 10060) rather than as ERROR_INTERNET_TIMEOUT, so a call that
  // failed after waiting out the time-out is taken for what it was.
  const auto receiveTimeout =
      std::chrono::milliseconds(std::min(limits.receiveTimeoutMs, limits.overallMs));
  Clock::duration waited{};
  auto timed = [&](auto call) {
    const Clock::time_point start = Clock::now();
    const bool ok = call();
    waited = Clock::now() - start;
    return ok;
  };
  // A failed call after cancel() is the closed handle, not the network.
  auto networkFailure = [&] {
    std::uint32_t code = http.lastError();
    if (waited >= receiveTimeout * 9 / 10) code = kErrorTimeout;
    return cancel.stopped() ? cancelled() : failed(describeInternetError(code, target, limits));
  };

  if (cancel.stopped()) return cancelled();
  ScopedInternetHandle session(http.openSession(kSessionAgent));
  if (!session) return networkFailure();
  ScopedInternetHandle connection(http.connect(session.get(), target.serverName, target.port));
  if (!connection) return networkFailure();
  const InternetHandle request = http.openRequest(connection.get(), kRequestVerb, target.objectPath,
                                                  kRequestVersion, requestFlags(target.secure));
  if (request == 0) return networkFailure();
  if (!cancel.attach(request)) return cancelled();
  AttachedRequest attached(cancel);

  // On the request itself: WinINet does not carry the session's time-outs down, and its
  // own receive time-out is none at all, so a silent server would hold us forever.
  http.setTimeout(request, HttpTimeout::Connect, limits.connectTimeoutMs);
  http.setTimeout(request, HttpTimeout::Send, limits.sendTimeoutMs);
  http.setTimeout(request, HttpTimeout::Receive,
                  std::min(limits.receiveTimeoutMs, limits.overallMs));
  http.addHeaders(request, kRequestHeaders, kAddIfNew);
  const std::string conditions = conditionalHeaders(ask);
  if (!conditions.empty()) http.addHeaders(request, conditions, kAddIfNew);
  if (!timed([&] { return http.sendRequest(request); })) return networkFailure();

  const std::optional<std::string> status =
      headerText(http, request, kQueryStatusCode, kStatusBufferSize);
  if (!status) return networkFailure();
  const std::optional<std::uint64_t> code = leadingNumber(*status);
  if (code == 304 && !conditions.empty()) {
    FetchResult result;
    result.status = FetchStatus::NotModified;
    return result;
  }
  if (code != 200)
    return failed(statusReason(*status, headerText(http, request, kQueryStatusText, 80)));

  FetchResult result;
  result.status = FetchStatus::Downloaded;
  result.contentType = headerText(http, request, kQueryContentType, 128).value_or("");
  for (auto [which, field] : {std::pair{kQueryEtag, &result.validators.etag},
                              std::pair{kQueryLastModified, &result.validators.lastModified}}) {
    std::optional<std::string> value = headerText(http, request, which, kLongestValidator);
    if (value && isPrintable(*value)) *field = std::move(*value);
  }
  std::optional<std::uint64_t> announced;
  if (auto length = headerText(http, request, kQueryContentLength, 32))
    announced = leadingNumber(*length);
  if (announced && *announced > limits.maxBodyBytes)
    return failed("the picture is too large: " + formatSize(*announced) + " (at most " +
                  formatSize(limits.maxBodyBytes) + ")");

  if (cancel.stopped()) return cancelled();
  DiscardUnlessKept guard(part);
  if (!part.create()) return failed(part.failure());
  // A short read is only the piece that happened to be there: the body ends with a
  // read of 0 bytes. Reading no more than has arrived keeps each read from waiting for a
  // full chunk (WinINet would, for as long as a trickle keeps coming), so that the clock
  // and the stop flag are looked at between pieces.
  std::array<std::uint8_t, kBodyChunkSize> chunk{};
  for (;;) {
    if (cancel.stopped()) return cancelled();
    if (Clock::now() >= deadline)
      return failed("the download took longer than " + durationText(limits.overallMs));
    std::uint32_t available = 0;
    if (!timed([&] { return http.queryDataAvailable(request, available); }))
      return networkFailure();
    const std::uint32_t size =
        available == 0 ? kBodyChunkSize : std::min(available, kBodyChunkSize);
    std::uint32_t count = 0;
    if (!timed([&] { return http.readFile(request, chunk.data(), size, count); }))
      return networkFailure();
    if (count == 0) break;
    if (count > size) return failed("network error: a read gave more than was asked");
    result.bytes += count;
    if (result.bytes > limits.maxBodyBytes)
      return failed("the picture is larger than " + formatSize(limits.maxBodyBytes));
    if (!part.write(chunk.data(), count)) return failed(part.failure());
  }
  // WinINet reads a connection closed before Content-Length as a normal end.
  if (announced && result.bytes < *announced)
    return failed("body cut short: " + formatSizeOf(result.bytes, *announced));
  if (announced && result.bytes > *announced)
    return failed("body longer than announced: " + formatSizeOf(result.bytes, *announced));
  if (!part.close()) return failed(part.failure());
  guard.keep();
  return result;
}

}  // namespace tessaren
