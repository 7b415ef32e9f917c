// The download over WinINet: every WinINet call, flag, info level and error number of the
// program is here. The address's parts come from the program's one address model
// (download/url.h), and redirects are followed here, counted, each Location resolved by
// that model too; what counts as an answer, the limits and the words come from the policy
// in fetch.cpp.
#include <winsock2.h>
// after winsock2.h, which must come before windows.h
#include <windows.h>
#include <wininet.h>
#include <ws2tcpip.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "download/fetch.h"
#include "download/fetch_all.h"
#include "download/url.h"
#include "platform/internet_handles.h"
#include "platform/soak_counters.h"

namespace tessaren {
namespace {

using Clock = std::chrono::steady_clock;

constexpr DWORD kBodyChunkSize = 1024;
// A Location that names a usable address in full: scheme, host and port, and the path with
// its query, each part within the address model's limit.
constexpr DWORD kLongestLocation = 2 * kMaxAddressPartLength + sizeof "https://[]:65535";

// The soak build counts the internet handles open: each is counted where it is opened and
// uncounted by the close policy of that build alone, so that the owners and the program
// users get know nothing of it.
#ifdef TESSAREN_SOAK_COUNTERS
struct CloseInternet {
  void operator()(HINTERNET handle) const {
    CloseInternetHandle{}(handle);
    --soak::internetHandles;
  }
};
HINTERNET opened(HINTERNET handle) {
  if (handle != nullptr) ++soak::internetHandles;
  return handle;
}
#else
using CloseInternet = CloseInternetHandle;
HINTERNET opened(HINTERNET handle) { return handle; }
#endif
using InternetHandle = Owned<HINTERNET, CloseInternet>;

// Reload and never write the cache: a picture that changes at the same address must
// arrive changed. No cookies kept, no dialog; redirects are followed here, so they can be
// counted. A proxy that asks for Windows sign-in (NTLM, Negotiate) is answered with the
// user's own, as browsers do; a server's challenge never is (INTERNET_OPTION_SUPPRESS_SERVER
// _AUTH, or INTERNET_FLAG_NO_AUTH where WinINet lacks that option): a sign-in could go to
// any host a redirect names, and a picture behind a password is no wallpaper.
constexpr DWORD kRequestFlags = INTERNET_FLAG_EXISTING_CONNECT | INTERNET_FLAG_RELOAD |
                                INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_NO_COOKIES |
                                INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;

// The host as WinINet takes it and as the failures name it: an IPv6 address in its
// brackets, as in the address.
std::string serverName(const HttpUrl& address) {
  if (address.host.find(':') == std::string::npos) return address.host;
  std::string bracketed = "[";
  bracketed += address.host;
  bracketed += ']';
  return bracketed;
}

// A header's value as text; nothing when the server sent none (or one longer than room).
std::optional<std::string> headerText(HINTERNET request, DWORD which, DWORD room) {
  std::string buffer(room, '\0');
  DWORD length = room;
  if (!HttpQueryInfoA(request, which, buffer.data(), &length, nullptr)) return std::nullopt;
  buffer.resize(std::min(length, room));
  return buffer;
}

std::optional<DWORD> statusCode(HINTERNET request) {
  DWORD status = 0;
  DWORD size = sizeof status;
  if (!HttpQueryInfoA(request, HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER, &status, &size,
                      nullptr))
    return std::nullopt;
  return status;
}

TransportProblem problemOf(DWORD code) {
  switch (code) {
    case ERROR_INTERNET_TIMEOUT:
    case WSAETIMEDOUT:  // Wine passes the socket's own code on
      return TransportProblem::TimedOut;
    case ERROR_INTERNET_NAME_NOT_RESOLVED:
      return TransportProblem::NameNotResolved;
    case ERROR_INTERNET_CANNOT_CONNECT:
      return TransportProblem::CannotConnect;
    case ERROR_INTERNET_CONNECTION_ABORTED:
    case ERROR_INTERNET_CONNECTION_RESET:
      return TransportProblem::ConnectionClosed;
    case ERROR_HTTP_INVALID_SERVER_RESPONSE:
      return TransportProblem::NotHttp;
  }
  // The certificate errors (12037 to 12057, 12169 to 12171, 12157) mean one thing to a user.
  if ((code >= 12037 && code <= 12057) || (code >= 12169 && code <= 12171) || code == 12157)
    return TransportProblem::Insecure;
  return TransportProblem::Other;
}

// What a host name resolves to, as numbers; empty when it could not be looked up. WinINet
// looks the name up again to connect, normally finding the same addresses in the system's
// cache.
std::vector<std::string> resolvedAddresses(const std::string& host) {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  std::vector<std::string> numbers;
  if (!started) return numbers;
  ADDRINFOA hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOA* found = nullptr;
  if (getaddrinfo(host.c_str(), nullptr, &hints, &found) != 0) return numbers;
  for (const ADDRINFOA* entry = found; entry != nullptr; entry = entry->ai_next) {
    char text[INET6_ADDRSTRLEN] = {};
    const void* address = nullptr;
    if (entry->ai_family == AF_INET) {
      address = &reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
    } else if (entry->ai_family == AF_INET6) {
      address = &reinterpret_cast<const sockaddr_in6*>(entry->ai_addr)->sin6_addr;
    }
    if (address != nullptr && inet_ntop(entry->ai_family, address, text, sizeof text) != nullptr)
      numbers.emplace_back(text);
  }
  freeaddrinfo(found);
  return numbers;
}

// The address a connection status names: documented as a SOCKADDR, handed over by WinINet
// (and Wine) as text. A SOCKADDR begins with its family, 2 or 23 and a zero byte; text
// with a digit, a hex digit or a colon.
std::string statusAddress(const void* information, DWORD length) {
  if (information == nullptr || length < 2) return "";
  const auto* raw = static_cast<const char*>(information);
  const auto family = reinterpret_cast<const sockaddr*>(information)->sa_family;
  char text[INET6_ADDRSTRLEN] = {};
  if (family == AF_INET && length >= sizeof(sockaddr_in))
    return inet_ntop(AF_INET, &static_cast<const sockaddr_in*>(information)->sin_addr, text,
                     sizeof text)
               ? text
               : "";
  if (family == AF_INET6 && length >= sizeof(sockaddr_in6))
    return inet_ntop(AF_INET6, &static_cast<const sockaddr_in6*>(information)->sin6_addr, text,
                     sizeof text)
               ? text
               : "";
  return std::string(raw, strnlen(raw, length));
}

// What WinINet connects to, across every request of the process. Through a proxy it looks
// up and connects to the proxy, and never looks the host's own name up: a host whose name
// WinINet looked up itself (INTERNET_STATUS_RESOLVING_NAME) is one it connects to. A
// connection kept alive is used again without being reported: the address it was made
// to is kept for each server.
class Connections {
 public:
  void lookedUp(std::string name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    names_.insert(std::move(name));
  }
  bool wasLookedUp(const std::string& name) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return names_.contains(name);
  }
  void madeTo(const std::string& server, std::string address) {
    const std::lock_guard<std::mutex> lock(mutex_);
    addresses_[server] = std::move(address);
  }
  std::string madeTo(const std::string& server) {
    const std::lock_guard<std::mutex> lock(mutex_);
    const auto found = addresses_.find(server);
    return found == addresses_.end() ? std::string() : found->second;
  }

 private:
  std::mutex mutex_;
  std::set<std::string> names_;
  std::map<std::string, std::string> addresses_;
};

Connections& connections() {
  static Connections all;
  return all;
}

// Closes the request through the token when the exchange ends, unless a cancel already did.
class AttachedRequest {
 public:
  explicit AttachedRequest(CancelToken& cancel) : cancel_(cancel) {}
  ~AttachedRequest() { cancel_.release(); }
  AttachedRequest(const AttachedRequest&) = delete;
  AttachedRequest& operator=(const AttachedRequest&) = delete;

 private:
  CancelToken& cancel_;
};

class Exchange {
 public:
  Exchange(const FetchRequest& request, OutputFile& body, CancelToken& cancel)
      : request_(request), limits_(request.limits), body_(body), cancel_(cancel) {}

  FetchResult run() {
    result_.finalUrl = request_.url;
    const std::string conditions = conditionalHeaders(request_.ask);
    for (;;) {
      std::optional<std::string> next;
      if (!mayReach(from_) || !once(conditions, next)) break;
      if (!next) break;
      if (++result_.redirects > limits_.maxRedirects) {
        result_.failure =
            Failure{FailureKind::TooManyRedirects,
                    "more than " + std::to_string(limits_.maxRedirects) + " redirects"};
        break;
      }
      from_ = std::exchange(result_.finalUrl, *next);
    }
    return std::move(result_);
  }

  // The caller's say on where this request may go, once its host is looked up.
  bool mayReach(const std::string& redirectedFrom) {
    if (!request_.mayReach) return true;
    const std::optional<HttpUrl> address = parseHttpUrl(result_.finalUrl);
    if (!address) return true;  // once() says why it is unusable
    if (cancel_.stopped()) return fail(cancelledFailure());
    if (std::optional<Failure> refused =
            request_.mayReach({result_.finalUrl, redirectedFrom, resolvedAddresses(address->host)}))
      return fail(*refused);
    return true;
  }

 private:
  // One request and its answer. False when the fetch ends here (failure set, or done);
  // next set for a redirect to follow.
  bool once(const std::string& conditions, std::optional<std::string>& next) {
    const std::optional<HttpUrl> address = parseHttpUrl(result_.finalUrl);
    if (!address)
      return fail({FailureKind::UnusableAddress, "not a usable URL: " + result_.finalUrl});
    address_ = *address;
    server_ = serverName(address_);
    if (cancel_.stopped()) return fail(cancelledFailure());

    InternetHandle session(opened(
        InternetOpenA(kSessionAgent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0)));
    if (!session) return networkFailure();
    InternetHandle connection(
        opened(InternetConnectA(session.get(), server_.c_str(), address_.port, nullptr, nullptr,
                                INTERNET_SERVICE_HTTP, 0, 0)));
    if (!connection) return networkFailure();
    HINTERNET request = openRequest(connection.get());
    if (request == nullptr) return networkFailure();
    if (!cancel_.attach([request] { CloseInternet{}(request); })) return fail(cancelledFailure());
    AttachedRequest attached(cancel_);
    connectedNow_ = false;
    InternetSetStatusCallbackA(request, &Exchange::statusCallback);

    // On the request itself: WinINet does not carry the session's time-outs down, and its
    // own receive time-out is none at all, so a silent server would hold us for ever.
    const DWORD receive = std::min(limits_.receiveTimeoutMs, limits_.overallMs);
    for (auto [option, value] :
         {std::pair<DWORD, DWORD>{INTERNET_OPTION_CONNECT_TIMEOUT, limits_.connectTimeoutMs},
          std::pair<DWORD, DWORD>{INTERNET_OPTION_SEND_TIMEOUT, limits_.sendTimeoutMs},
          std::pair<DWORD, DWORD>{INTERNET_OPTION_RECEIVE_TIMEOUT, receive}}) {
      DWORD milliseconds = value;
      InternetSetOptionA(request, option, &milliseconds, sizeof milliseconds);
    }
    HttpAddRequestHeadersA(request, kRequestHeaders.c_str(),
                           static_cast<DWORD>(kRequestHeaders.size()), HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    if (!conditions.empty())
      HttpAddRequestHeadersA(request, conditions.c_str(), static_cast<DWORD>(conditions.size()),
                             HTTP_ADDREQ_FLAG_ADD_IF_NEW);
    char emptyBody[] = "";
    const bool sent =
        timed([&] { return HttpSendRequestA(request, nullptr, 0, emptyBody, 0) != FALSE; });
    // Refused once connected: the request handle is closed already.
    if (refused_) return fail(*refused_);
    if (!sent) return networkFailure();

    const std::optional<DWORD> status = statusCode(request);
    if (!status) return networkFailure();
    result_.status = *status;
    if (*status == HTTP_STATUS_NOT_MODIFIED && !conditions.empty())
      return fail({FailureKind::NotModified, "not modified"});
    if (*status == 301 || *status == 302 || *status == 303 || *status == 307 || *status == 308) {
      const std::optional<std::string> location =
          headerText(request, HTTP_QUERY_LOCATION, kLongestLocation);
      if (location && !location->empty()) {
        next = resolveUrl(result_.finalUrl, *location);
        if (next) return true;
      }
    }
    if (*status != HTTP_STATUS_OK)
      return fail(
          statusFailure(*status, headerText(request, HTTP_QUERY_STATUS_TEXT, 80).value_or("")));

    result_.contentType = headerText(request, HTTP_QUERY_CONTENT_TYPE, 256).value_or("");
    result_.validators.etag =
        keptValidator(headerText(request, HTTP_QUERY_ETAG, kLongestValidator + 1).value_or(""));
    result_.validators.lastModified = keptValidator(
        headerText(request, HTTP_QUERY_LAST_MODIFIED, kLongestValidator + 1).value_or(""));
    std::optional<std::uint64_t> announced;
    if (auto length = headerText(request, HTTP_QUERY_CONTENT_LENGTH, 32))
      announced = leadingNumber(*length);
    return readBody(request, announced);
  }

  // A request with the sign-in rule above; its status callbacks come to this exchange.
  HINTERNET openRequest(HINTERNET connection) {
    static std::atomic<bool> serverSignInSuppressible{true};
    const auto open = [&](DWORD flags) {
      return opened(HttpOpenRequestA(
          connection, "GET", address_.pathAndQuery.c_str(), "HTTP/1.0", nullptr, nullptr,
          kRequestFlags | flags | (address_.secure ? INTERNET_FLAG_SECURE : 0),
          reinterpret_cast<DWORD_PTR>(this)));
    };
    if (serverSignInSuppressible) {
      HINTERNET request = open(0);
      if (request == nullptr ||
          InternetSetOptionA(request, INTERNET_OPTION_SUPPRESS_SERVER_AUTH, nullptr, 0))
        return request;
      serverSignInSuppressible = false;
      CloseInternet{}(request);
    }
    return open(INTERNET_FLAG_NO_AUTH);
  }

  // WinINet's calls back on the thread in HttpSendRequest; only the handle's closing may
  // come from another (a cancel), and is not looked at.
  static void CALLBACK statusCallback(HINTERNET request, DWORD_PTR context, DWORD status,
                                      void* information, DWORD length) {
    if (status == INTERNET_STATUS_RESOLVING_NAME || status == INTERNET_STATUS_CONNECTED_TO_SERVER ||
        status == INTERNET_STATUS_SENDING_REQUEST)
      reinterpret_cast<Exchange*>(context)->onStatus(request, status, information, length);
  }

  // The rule at connection time: the address WinINet connected to is judged before the
  // request goes out, and a refusal closes the request, which ends HttpSendRequest.
  void onStatus(HINTERNET request, DWORD status, const void* information, DWORD length) {
    if (refused_) return;
    const std::string server =
        (address_.secure ? "https://" : "http://") + server_ + ":" + std::to_string(address_.port);
    if (status == INTERNET_STATUS_RESOLVING_NAME) {
      if (information != nullptr)
        connections().lookedUp(std::string(static_cast<const char*>(information),
                                           strnlen(static_cast<const char*>(information), length)));
    } else if (status == INTERNET_STATUS_CONNECTED_TO_SERVER) {
      connectedNow_ = true;
      if (!direct(request)) return;
      const std::string address = statusAddress(information, length);
      connections().madeTo(server, address);
      judge(address);
    } else if (!connectedNow_ && direct(request)) {
      // About to be sent on a connection kept from an earlier request.
      judge(connections().madeTo(server));
    }
  }

  // Whether WinINet connects to the host itself rather than to a proxy: the request's
  // own socket information says so, where WinINet still gives it; else whether WinINet
  // ever looked the host's name up.
  bool direct(HINTERNET request) {
    INTERNET_DIAGNOSTIC_SOCKET_INFO socket{};
    DWORD size = sizeof socket;
    if (InternetQueryOptionA(request, INTERNET_OPTION_DIAGNOSTIC_SOCKET_INFO, &socket, &size))
      return (socket.Flags & IDSI_FLAG_PROXY) == 0;
    return connections().wasLookedUp(address_.host);
  }

  void judge(const std::string& address) {
    if (!request_.mayReach || address.empty()) return;
    refused_ = request_.mayReach({result_.finalUrl, from_, {address}, true});
    if (refused_) cancel_.release();
  }

  bool readBody(HINTERNET request, std::optional<std::uint64_t> announced) {
    BodyPolicy policy(request_, start_, announced, result_.contentType);
    if (auto problem = policy.beforeBody()) return fail(*problem);
    // A short read is only the piece that happened to be there: the body ends with a read
    // of 0 bytes. Reading no more than has arrived keeps each read from waiting for a full
    // chunk (WinINet would, for as long as a trickle keeps coming), so that the clock and
    // the stop flag are looked at between pieces.
    std::array<std::uint8_t, kBodyChunkSize> chunk{};
    for (;;) {
      if (cancel_.stopped()) return fail(cancelledFailure());
      if (auto problem = policy.beforePiece(Clock::now())) return fail(*problem);
      DWORD available = 0;
      if (!timed([&] { return InternetQueryDataAvailable(request, &available, 0, 0) != FALSE; }))
        return networkFailure();
      const DWORD size = available == 0 ? kBodyChunkSize : std::min(available, kBodyChunkSize);
      DWORD count = 0;
      if (!timed([&] { return InternetReadFile(request, chunk.data(), size, &count) != FALSE; }))
        return networkFailure();
      if (count == 0) break;
      if (count > size)
        return fail({FailureKind::Unreachable, "network error: a read gave more than was asked"});
      if (auto problem = policy.afterPiece({reinterpret_cast<const char*>(chunk.data()), count}))
        return fail(*problem);
      if (!body_.write(chunk.data(), count)) return fail(body_.failure());
    }
    result_.bytes = policy.bytes();
    if (auto problem = policy.atEnd()) return fail(*problem);
    if (!body_.close()) return fail(body_.failure());
    return false;
  }

  template <typename Call>
  bool timed(Call call) {
    const Clock::time_point began = Clock::now();
    const bool ok = call();
    error_ = ok ? 0 : GetLastError();
    waited_ = Clock::now() - began;
    return ok;
  }

  // A failed call after cancel() is the closed handle, not the network. Wine reports a
  // receive time-out as a closed or timed-out socket (12030, 10060) rather than as
  // ERROR_INTERNET_TIMEOUT, so a call that failed after waiting out the time-out is taken
  // for what it was.
  bool networkFailure() {
    if (cancel_.stopped()) return fail(cancelledFailure());
    DWORD code = error_ != 0 ? error_ : GetLastError();
    const auto receive =
        std::chrono::milliseconds(std::min(limits_.receiveTimeoutMs, limits_.overallMs));
    if (waited_ >= receive * 9 / 10) code = ERROR_INTERNET_TIMEOUT;
    return fail(transportFailure(problemOf(code), code, server_, address_.port, limits_));
  }

  bool fail(Failure failure) {
    result_.failure = std::move(failure);
    return false;
  }

  const FetchRequest& request_;
  const FetchLimits& limits_;
  OutputFile& body_;
  CancelToken& cancel_;
  const Clock::time_point start_ = Clock::now();
  HttpUrl address_;
  std::string server_;
  std::string from_;  // the address that redirected to this one; empty for the first
  bool connectedNow_ = false;
  std::optional<Failure> refused_;
  DWORD error_ = 0;
  Clock::duration waited_{};
  FetchResult result_;
};

class WinInetFetcher final : public Fetcher {
 public:
  // WinINet queues requests beyond its limits per server and per proxy (2 per HTTP/1.1
  // server and 4 per HTTP/1.0 server or proxy by default on older Windows), and a request
  // waiting there uses up its own time-outs. The limits are the process's, so Tessaren's
  // own: raised to the most it ever has under way.
  WinInetFetcher() {
    for (const DWORD option :
         {INTERNET_OPTION_MAX_CONNS_PER_SERVER, INTERNET_OPTION_MAX_CONNS_PER_1_0_SERVER,
          INTERNET_OPTION_MAX_CONNS_PER_PROXY}) {
      DWORD most = 0;
      DWORD size = sizeof most;
      if (InternetQueryOptionA(nullptr, option, &most, &size) && most >= kMostRequestsAtOnce)
        continue;
      most = kMostRequestsAtOnce;
      InternetSetOptionA(nullptr, option, &most, sizeof most);
    }
  }

  FetchResult fetchToFile(const FetchRequest& request, OutputFile& body,
                          CancelToken& cancel) override {
    return Exchange(request, body, cancel).run();
  }
};

}  // namespace

Fetcher& platformFetcher() {
  static WinInetFetcher wininet;
  return wininet;
}

}  // namespace tessaren
