// The native build has no HTTP client: nothing can be opened, so every download fails.
#include "download/http_api.h"

namespace tessaren {
namespace {

class NoHttp final : public HttpApi {
 public:
  InternetHandle openSession(const std::string&) override { return 0; }
  InternetHandle connect(InternetHandle, const std::string&, std::uint32_t) override { return 0; }
  InternetHandle openRequest(InternetHandle, const std::string&, const std::string&,
                             const std::string&, std::uint32_t) override {
    return 0;
  }
  bool setTimeout(InternetHandle, HttpTimeout, std::uint32_t) override { return false; }
  bool addHeaders(InternetHandle, const std::string&, std::uint32_t) override { return false; }
  bool sendRequest(InternetHandle) override { return false; }
  bool queryInfo(InternetHandle, std::uint32_t, char*, std::uint32_t&) override { return false; }
  bool queryDataAvailable(InternetHandle, std::uint32_t& bytes) override {
    bytes = 0;
    return false;
  }
  bool readFile(InternetHandle, std::uint8_t*, std::uint32_t, std::uint32_t& bytesRead) override {
    bytesRead = 0;
    return false;
  }
  bool closeHandle(InternetHandle) override { return true; }
  std::uint32_t lastError() override { return kErrorCannotConnect; }
};

}  // namespace

HttpApi& platformHttpApi() {
  static NoHttp none;
  return none;
}

int internetHandlesOpen() { return 0; }

}  // namespace tessaren
