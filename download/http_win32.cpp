// WinINet behind HttpApi: each call is the WinINet function named in http_api.h with the
// arguments the portable code chose, nothing added.
#include <windows.h>
#include <wininet.h>

#include <atomic>

#include "download/http_api.h"

namespace tessaren {
namespace {

std::atomic<int> handlesOpen{0};

HINTERNET toHinternet(InternetHandle handle) { return reinterpret_cast<HINTERNET>(handle); }
InternetHandle fromHinternet(HINTERNET handle) {
  if (handle != nullptr) ++handlesOpen;
  return reinterpret_cast<InternetHandle>(handle);
}

DWORD optionOf(HttpTimeout which) {
  switch (which) {
    case HttpTimeout::Connect:
      return INTERNET_OPTION_CONNECT_TIMEOUT;
    case HttpTimeout::Send:
      return INTERNET_OPTION_SEND_TIMEOUT;
    case HttpTimeout::Receive:
      return INTERNET_OPTION_RECEIVE_TIMEOUT;
  }
  return INTERNET_OPTION_RECEIVE_TIMEOUT;
}

class WinInet final : public HttpApi {
 public:
  InternetHandle openSession(const std::string& agent) override {
    return fromHinternet(
        InternetOpenA(agent.c_str(), INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0));
  }
  InternetHandle connect(InternetHandle session, const std::string& serverName,
                         std::uint32_t port) override {
    return fromHinternet(InternetConnectA(toHinternet(session), serverName.c_str(),
                                          static_cast<INTERNET_PORT>(port), nullptr, nullptr,
                                          INTERNET_SERVICE_HTTP, 0, 1));
  }
  InternetHandle openRequest(InternetHandle connection, const std::string& verb,
                             const std::string& objectPath, const std::string& version,
                             std::uint32_t flags) override {
    return fromHinternet(HttpOpenRequestA(toHinternet(connection), verb.c_str(), objectPath.c_str(),
                                          version.c_str(), nullptr, nullptr, flags, 1));
  }
  bool setTimeout(InternetHandle handle, HttpTimeout which, std::uint32_t milliseconds) override {
    DWORD value = milliseconds;
    return InternetSetOptionA(toHinternet(handle), optionOf(which), &value, sizeof value) != FALSE;
  }
  bool addHeaders(InternetHandle request, const std::string& headers,
                  std::uint32_t modifiers) override {
    return HttpAddRequestHeadersA(toHinternet(request), headers.c_str(),
                                  static_cast<DWORD>(headers.size()), modifiers) != FALSE;
  }
  bool sendRequest(InternetHandle request) override {
    char emptyBody[] = "";
    return HttpSendRequestA(toHinternet(request), nullptr, 0, emptyBody, 0) != FALSE;
  }
  bool queryInfo(InternetHandle request, std::uint32_t infoLevel, char* buffer,
                 std::uint32_t& length) override {
    DWORD size = length;
    BOOL ok = HttpQueryInfoA(toHinternet(request), infoLevel, buffer, &size, nullptr);
    length = ok ? size : 0;
    return ok != FALSE;
  }
  bool queryDataAvailable(InternetHandle request, std::uint32_t& bytes) override {
    DWORD count = 0;
    BOOL ok = InternetQueryDataAvailable(toHinternet(request), &count, 0, 0);
    bytes = ok ? count : 0;
    return ok != FALSE;
  }
  bool readFile(InternetHandle request, std::uint8_t* buffer, std::uint32_t size,
                std::uint32_t& bytesRead) override {
    DWORD count = 0;
    BOOL ok = InternetReadFile(toHinternet(request), buffer, size, &count);
    bytesRead = count;
    return ok != FALSE;
  }
  bool closeHandle(InternetHandle handle) override {
    const bool closed = InternetCloseHandle(toHinternet(handle)) != FALSE;
    if (closed) --handlesOpen;
    return closed;
  }
  std::uint32_t lastError() override { return GetLastError(); }
};

}  // namespace

HttpApi& platformHttpApi() {
  static WinInet wininet;
  return wininet;
}

int internetHandlesOpen() { return handlesOpen; }

}  // namespace tessaren
