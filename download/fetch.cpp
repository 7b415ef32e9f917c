// The download's policy: what is asked, which answers count, the limits and the words.
#include "download/fetch.h"

#include <algorithm>
#include <cstdio>

#include "platform/text.h"

namespace tessaren {

std::string conditionalHeaders(const Validators& ask) {
  std::string headers;
  if (const std::string etag = keptValidator(ask.etag); !etag.empty())
    headers += "If-None-Match: " + etag + "\r\n";
  if (const std::string date = keptValidator(ask.lastModified); !date.empty())
    headers += "If-Modified-Since: " + date + "\r\n";
  return headers;
}

Failure statusFailure(std::uint32_t status, const std::string& text) {
  // WinINet answers a proxy's challenge itself with the user's sign-in; a 407 that comes
  // through is one it could not answer.
  if (status == 407) return {FailureKind::HttpStatus, "the proxy asks for a sign-in (HTTP 407)"};
  std::string reason = "HTTP " + std::to_string(status);
  if (const std::string shown = displaySafe(trimmed(text), 40); !shown.empty())
    reason += " " + shown;
  const bool gone = status == 404 || status == 410;
  return {gone ? FailureKind::NotFound : FailureKind::HttpStatus, reason};
}

std::optional<std::uint64_t> leadingNumber(const std::string& text) {
  constexpr std::uint64_t kCeiling = std::uint64_t{1} << 62;
  std::uint64_t number = 0;
  std::size_t digits = 0;
  for (; digits < text.size() && text[digits] >= '0' && text[digits] <= '9'; ++digits)
    if (number < kCeiling) number = number * 10 + static_cast<std::uint64_t>(text[digits] - '0');
  if (digits == 0) return std::nullopt;
  return number;
}

std::string durationText(std::uint32_t milliseconds) {
  if (milliseconds >= 60'000 && milliseconds % 60'000 == 0)
    return std::to_string(milliseconds / 60'000) + " minutes";
  if (milliseconds % 1000 == 0) return std::to_string(milliseconds / 1000) + " s";
  char text[16];
  std::snprintf(text, sizeof text, "%.1f s", milliseconds / 1000.0);
  return text;
}

Failure transportFailure(TransportProblem problem, std::uint32_t code, const std::string& host,
                         std::uint32_t port, const FetchLimits& limits) {
  const std::string server = displaySafe(host, 80);
  switch (problem) {
    case TransportProblem::TimedOut:
      return {
          FailureKind::TimedOut,
          "no answer within " + durationText(std::min(limits.receiveTimeoutMs, limits.overallMs))};
    case TransportProblem::NameNotResolved:
      return {FailureKind::Unreachable, "can't find the server " + server};
    case TransportProblem::CannotConnect:
      return {FailureKind::Unreachable, "can't connect to " + server + ":" + std::to_string(port)};
    case TransportProblem::ConnectionClosed:
      return {FailureKind::Unreachable, "the server closed the connection"};
    case TransportProblem::NotHttp:
      return {FailureKind::NotHttp, "the server's answer is not HTTP"};
    case TransportProblem::Insecure:
      return {FailureKind::Insecure, "no trusted secure connection to " + server + " (error " +
                                         std::to_string(code) + ")"};
    case TransportProblem::Other:
      break;
  }
  return {FailureKind::Unreachable, "network error " + std::to_string(code)};
}

BodyPolicy::BodyPolicy(const FetchLimits& limits, std::chrono::steady_clock::time_point start,
                       std::optional<std::uint64_t> announced)
    : limits_(limits),
      deadline_(start + std::chrono::milliseconds(limits.overallMs)),
      announced_(announced) {}

BodyPolicy::BodyPolicy(const FetchRequest& request, std::chrono::steady_clock::time_point start,
                       std::optional<std::uint64_t> announced, std::string contentType)
    : BodyPolicy(request.limits, start, announced) {
  limitFor_ = request.limitFor;
  contentType_ = std::move(contentType);
}

std::optional<Failure> BodyPolicy::beforeBody() const {
  if (announced_ && *announced_ > limits_.maxBodyBytes)
    return Failure{FailureKind::TooLarge, "the picture is too large: " + formatSize(*announced_) +
                                              " (at most " + formatSize(limits_.maxBodyBytes) +
                                              ")"};
  return std::nullopt;
}

std::optional<Failure> BodyPolicy::beforePiece(std::chrono::steady_clock::time_point now) const {
  if (now >= deadline_)
    return Failure{FailureKind::TimedOut,
                   "the download took longer than " + durationText(limits_.overallMs)};
  return std::nullopt;
}

std::optional<Failure> BodyPolicy::afterPiece(std::string_view piece) {
  bytes_ += piece.size();
  if (limitFor_ && head_.size() < kBodyHeadBytes) {
    head_.append(piece.substr(0, kBodyHeadBytes - head_.size()));
    if (head_.size() == kBodyHeadBytes) {
      lowered_ = limitFor_(head_, contentType_);
      limitFor_ = nullptr;
    }
  }
  return overLimit();
}

std::optional<Failure> BodyPolicy::overLimit() const {
  if (lowered_ && bytes_ > lowered_->bytes) return Failure{FailureKind::TooLarge, lowered_->reason};
  if (bytes_ > limits_.maxBodyBytes)
    return Failure{FailureKind::TooLarge,
                   "the picture is larger than " + formatSize(limits_.maxBodyBytes)};
  return std::nullopt;
}

std::optional<Failure> BodyPolicy::atEnd() const {
  // WinINet reads a connection closed before Content-Length as a normal end.
  if (announced_ && bytes_ < *announced_)
    return Failure{FailureKind::CutShort, "body cut short: " + formatSizeOf(bytes_, *announced_)};
  if (announced_ && bytes_ > *announced_)
    return Failure{FailureKind::CutShort,
                   "body longer than announced: " + formatSizeOf(bytes_, *announced_)};
  return std::nullopt;
}

}  // namespace tessaren
