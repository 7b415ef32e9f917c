// One whole update: the picture request over HTTP, the body stored beside the JPEG file
// and moved over it only when complete, then the conversion into the wallpaper.
#include "download/fetch.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <utility>

#include "download/download_target.h"
#include "download/http_api.h"
#include "download/local_file_api.h"
#include "imaging/wallpaper.h"

namespace tessaren {
namespace {

using Clock = std::chrono::steady_clock;

constexpr std::int32_t kFetchOk = 0;
constexpr std::int32_t kFetchFailed = 1;

std::optional<FetchLimits>& limitsOverride() {
  static std::optional<FetchLimits> limits;
  return limits;
}

// The leading decimal digits of text, saturating rather than wrapping; none gives nothing.
std::optional<std::uint64_t> leadingNumber(const char* text, std::uint32_t length) {
  constexpr std::uint64_t kCeiling = std::uint64_t{1} << 62;
  std::uint64_t number = 0;
  std::uint32_t digits = 0;
  for (; digits < length && text[digits] >= '0' && text[digits] <= '9'; ++digits) {
    if (number < kCeiling) number = number * 10 + static_cast<std::uint64_t>(text[digits] - '0');
  }
  if (digits == 0) return std::nullopt;
  return number;
}

// The body file while it is being written and until it has been applied: closed and
// deleted on every way out unless it was moved into place.
class PartialFile {
 public:
  explicit PartialFile(std::string path) : path_(std::move(path)) {}
  ~PartialFile() { discard(); }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  const std::string& path() const { return path_; }
  bool create() {
    file_ = localFileApi().createForWriting(path_);
    created_ = file_ != 0;
    return created_;
  }
  bool write(const std::uint8_t* data, std::uint32_t size) {
    std::uint32_t written = 0;
    return localFileApi().write(file_, data, size, written) && written == size;
  }
  bool close() { return localFileApi().close(std::exchange(file_, 0)); }
  bool moveOver(const std::string& destination) {
    if (!localFileApi().replace(path_, destination)) return false;
    created_ = false;
    return true;
  }
  void discard() {
    if (file_ != 0) localFileApi().close(std::exchange(file_, 0));
    if (created_) localFileApi().remove(path_);
    created_ = false;
  }

 private:
  std::string path_;
  LocalFileHandle file_ = 0;
  bool created_ = false;
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

// Sends the request and, on status 200, stores the complete body in part. Every handle
// is closed when it returns: the file first, then request, connection, session.
bool download(const DownloadTarget& target, const FetchLimits& limits, PartialFile& part) {
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limits.overallMs);
  HttpApi& http = httpApi();

  ScopedInternetHandle session(http.openSession(kSessionAgent));
  if (!session) return false;
  ScopedInternetHandle connection(http.connect(session.get(), target.serverName, target.port));
  if (!connection) return false;
  ScopedInternetHandle request(http.openRequest(connection.get(), kRequestVerb, target.objectPath,
                                                kRequestVersion, requestFlags(target.secure)));
  if (!request) return false;

  // On the request itself: WinINet does not carry the session's time-outs down, and its
  // own receive time-out is none at all, so a silent server would hold us forever.
  http.setTimeout(request.get(), HttpTimeout::Connect, limits.connectTimeoutMs);
  http.setTimeout(request.get(), HttpTimeout::Send, limits.sendTimeoutMs);
  http.setTimeout(request.get(), HttpTimeout::Receive,
                  std::min(limits.receiveTimeoutMs, limits.overallMs));
  http.addHeaders(request.get(), kRequestHeaders, kAddIfNew);
  if (!http.sendRequest(request.get())) return false;

  std::array<char, kStatusBufferSize> status{};
  std::uint32_t statusLength = kStatusBufferSize;
  if (!http.queryInfo(request.get(), kQueryStatusCode, status.data(), statusLength)) return false;
  if (leadingNumber(status.data(), std::min(statusLength, kStatusBufferSize)) != 200) return false;

  std::array<char, 32> lengthText{};
  std::uint32_t lengthTextSize = lengthText.size();
  std::optional<std::uint64_t> announced;
  if (http.queryInfo(request.get(), kQueryContentLength, lengthText.data(), lengthTextSize))
    announced = leadingNumber(lengthText.data(), std::min<std::uint32_t>(lengthTextSize, 32));
  if (announced && *announced > limits.maxBodyBytes) return false;

  DiscardUnlessKept guard(part);
  if (!part.create()) return false;
  // A short read is only the piece that happened to be there: the body ends with a
  // read of 0 bytes. Reading no more than has arrived keeps each read from waiting for a
  // full chunk (WinINet would, for as long as a trickle keeps coming), so that the clock
  // is looked at between pieces.
  std::array<std::uint8_t, kBodyChunkSize> chunk{};
  std::uint64_t received = 0;
  for (;;) {
    if (Clock::now() >= deadline) return false;
    std::uint32_t available = 0;
    if (!http.queryDataAvailable(request.get(), available)) return false;
    const std::uint32_t size =
        available == 0 ? kBodyChunkSize : std::min(available, kBodyChunkSize);
    std::uint32_t count = 0;
    if (!http.readFile(request.get(), chunk.data(), size, count)) return false;
    if (count == 0) break;
    if (count > size) return false;
    received += count;
    if (received > limits.maxBodyBytes) return false;
    if (!part.write(chunk.data(), count)) return false;
  }
  // WinINet reads a connection closed before Content-Length as a normal end.
  if (announced && received != *announced) return false;
  if (!part.close()) return false;
  guard.keep();
  return true;
}

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

std::int32_t DownloadJob::fetch() {
  // The target as it is when the fetch starts.
  const DownloadTarget target = downloadTarget();
  PartialFile part(partialDownloadPath(target.jpegPath));
  if (!download(target, fetchLimits(), part)) return kFetchFailed;
  // The body takes the JPEG file's name only once it has become the wallpaper, so that
  // tessaren.jpg always holds the last picture that was shown, never a page or a stub.
  if (!convertAndApply(part.path(), target.bmpPath)) return kFetchFailed;
  // The wallpaper has changed whether or not the move succeeds.
  part.moveOver(target.jpegPath);
  return kFetchOk;
}

bool DownloadJob::convertAndApply(const std::string& jpegPath, const std::string& bmpPath) {
  return tessaren::convertAndApply(jpegPath, bmpPath, downloadTarget().displayMode).applied;
}

}  // namespace tessaren
