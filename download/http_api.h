// The WinINet calls that one download makes, behind one small interface: the Win32 side
// (http_win32.cpp) passes them straight on, and native tests stand in a double.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

// An internet handle as the platform hands it out; 0 means none.
using InternetHandle = std::uintptr_t;

// Win32 values that the portable code passes through unchanged.
constexpr std::uint32_t kFlagExistingConnect = 0x20000000;  // INTERNET_FLAG_EXISTING_CONNECT
constexpr std::uint32_t kFlagReload = 0x80000000;           // INTERNET_FLAG_RELOAD
constexpr std::uint32_t kFlagNoCacheWrite = 0x04000000;     // INTERNET_FLAG_NO_CACHE_WRITE
constexpr std::uint32_t kFlagSecure = 0x00800000;           // INTERNET_FLAG_SECURE
constexpr std::uint32_t kAddIfNew = 0x10000000;             // HTTP_ADDREQ_FLAG_ADD_IF_NEW
constexpr std::uint32_t kQueryStatusCode = 19;              // HTTP_QUERY_STATUS_CODE
constexpr std::uint32_t kQueryStatusText = 20;              // HTTP_QUERY_STATUS_TEXT
constexpr std::uint32_t kQueryContentLength = 5;            // HTTP_QUERY_CONTENT_LENGTH
constexpr std::uint32_t kQueryContentType = 1;              // HTTP_QUERY_CONTENT_TYPE
constexpr std::uint32_t kQueryLastModified = 11;            // HTTP_QUERY_LAST_MODIFIED
constexpr std::uint32_t kQueryEtag = 54;                    // HTTP_QUERY_ETAG

// WinINet's error codes that the reasons tell apart.
constexpr std::uint32_t kErrorTimeout = 12002;            // ERROR_INTERNET_TIMEOUT
constexpr std::uint32_t kErrorNameNotResolved = 12007;    // ERROR_INTERNET_NAME_NOT_RESOLVED
constexpr std::uint32_t kErrorCannotConnect = 12029;      // ERROR_INTERNET_CANNOT_CONNECT
constexpr std::uint32_t kErrorConnectionAborted = 12030;  // ERROR_INTERNET_CONNECTION_ABORTED
constexpr std::uint32_t kErrorConnectionReset = 12031;    // ERROR_INTERNET_CONNECTION_RESET
constexpr std::uint32_t kErrorInvalidResponse = 12152;    // ERROR_HTTP_INVALID_SERVER_RESPONSE
constexpr std::uint32_t kWinsockTimedOut = 10060;         // WSAETIMEDOUT (Wine passes it on)

enum class HttpTimeout {
  Connect,  // INTERNET_OPTION_CONNECT_TIMEOUT
  Send,     // INTERNET_OPTION_SEND_TIMEOUT
  Receive,  // INTERNET_OPTION_RECEIVE_TIMEOUT
};

class HttpApi {
 public:
  virtual ~HttpApi() = default;
  // InternetOpenA(agent, INTERNET_OPEN_TYPE_PRECONFIG, NULL, NULL, 0)
  virtual InternetHandle openSession(const std::string& agent) = 0;
  // InternetConnectA(session, serverName, port, NULL, NULL, INTERNET_SERVICE_HTTP, 0, 1)
  virtual InternetHandle connect(InternetHandle session, const std::string& serverName,
                                 std::uint32_t port) = 0;
  // HttpOpenRequestA(connection, verb, objectPath, version, NULL, NULL, flags, 1)
  virtual InternetHandle openRequest(InternetHandle connection, const std::string& verb,
                                     const std::string& objectPath, const std::string& version,
                                     std::uint32_t flags) = 0;
  // InternetSetOptionA(handle, the option for which, &milliseconds, 4)
  virtual bool setTimeout(InternetHandle handle, HttpTimeout which, std::uint32_t milliseconds) = 0;
  // HttpAddRequestHeadersA(request, headers, length, modifiers)
  virtual bool addHeaders(InternetHandle request, const std::string& headers,
                          std::uint32_t modifiers) = 0;
  // HttpSendRequestA(request, NULL, 0, "", 0): no further headers, an empty body.
  virtual bool sendRequest(InternetHandle request) = 0;
  // HttpQueryInfoA(request, infoLevel, buffer, &length, NULL): the value as text; length
  // is the room in buffer on entry and the length of the text on return.
  virtual bool queryInfo(InternetHandle request, std::uint32_t infoLevel, char* buffer,
                         std::uint32_t& length) = 0;
  // InternetQueryDataAvailable(request, &bytes, 0, 0): waits (up to the receive time-out)
  // until some of the body is there; 0 at its end.
  virtual bool queryDataAvailable(InternetHandle request, std::uint32_t& bytes) = 0;
  // InternetReadFile(request, buffer, size, &bytesRead)
  virtual bool readFile(InternetHandle request, std::uint8_t* buffer, std::uint32_t size,
                        std::uint32_t& bytesRead) = 0;
  // InternetCloseHandle(handle)
  virtual bool closeHandle(InternetHandle handle) = 0;
  // GetLastError() on the calling thread, right after a call above failed.
  virtual std::uint32_t lastError() = 0;
};

// The HTTP client in use: the platform's own unless a test has put another in place.
HttpApi& httpApi();
// Puts api in place of the platform's client; nullptr restores the platform's.
void setHttpApi(HttpApi* api);

// The platform's client: WinINet in the Windows build; natively one that reaches nobody.
HttpApi& platformHttpApi();
// Internet handles the platform's client has opened and not yet closed, for the soak.
int internetHandlesOpen();

// An internet handle that is closed when it goes out of scope, on every path.
class ScopedInternetHandle {
 public:
  explicit ScopedInternetHandle(InternetHandle handle = 0) : handle_(handle) {}
  ~ScopedInternetHandle() { reset(); }
  ScopedInternetHandle(const ScopedInternetHandle&) = delete;
  ScopedInternetHandle& operator=(const ScopedInternetHandle&) = delete;

  InternetHandle get() const { return handle_; }
  explicit operator bool() const { return handle_ != 0; }
  void reset() {
    if (handle_ != 0) httpApi().closeHandle(handle_);
    handle_ = 0;
  }

 private:
  InternetHandle handle_ = 0;
};

}  // namespace tessaren
