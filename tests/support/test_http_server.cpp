// The scripted test server of test_http_server.h, on Winsock.
#ifdef _WIN32

#include "tests/support/test_http_server.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <chrono>

namespace tessaren::test {
namespace {

void startWinsock() {
  static const bool started = [] {
    WSADATA data;
    return WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  (void)started;
}

SOCKET toSocket(std::uintptr_t handle) { return static_cast<SOCKET>(handle); }

// Waits until the socket has something to read; false on time-out.
bool readable(SOCKET socket, int milliseconds) {
  fd_set set;
  FD_ZERO(&set);
  FD_SET(socket, &set);
  timeval wait{milliseconds / 1000, (milliseconds % 1000) * 1000};
  return select(0, &set, nullptr, nullptr, &wait) == 1;
}

bool sendAll(SOCKET socket, const std::string& bytes) {
  std::size_t sent = 0;
  while (sent < bytes.size()) {
    int count = ::send(socket, bytes.data() + sent, static_cast<int>(bytes.size() - sent), 0);
    if (count <= 0) return false;
    sent += static_cast<std::size_t>(count);
  }
  return true;
}

std::string reasonOf(int status) {
  switch (status) {
    case 200:
      return "OK";
    case 204:
      return "No Content";
    case 206:
      return "Partial Content";
    case 302:
      return "Found";
    case 404:
      return "Not Found";
    case 500:
      return "Internal Server Error";
  }
  return "Status";
}

}  // namespace

std::string httpResponse(int status, const std::vector<std::string>& headers,
                         const std::string& body) {
  std::string text = "HTTP/1.0 " + std::to_string(status) + " " + reasonOf(status) + "\r\n";
  for (const std::string& header : headers) text += header + "\r\n";
  return text + "\r\n" + body;
}

ServerScript servePicture(const std::string& body) {
  return {ServerStep::send(httpResponse(
      200, {"Content-Type: image/jpeg", "Content-Length: " + std::to_string(body.size())}, body))};
}

ServerScript sendInPieces(const std::string& bytes, const std::vector<std::size_t>& sizes,
                          int pauseMilliseconds) {
  ServerScript script;
  std::size_t at = 0;
  for (std::size_t piece = 0; at < bytes.size(); ++piece) {
    std::size_t size = sizes[std::min(piece, sizes.size() - 1)];
    if (piece > 0) script.push_back(ServerStep::pause(pauseMilliseconds));
    script.push_back(ServerStep::send(bytes.substr(at, size)));
    at += size;
  }
  return script;
}

TestHttpServer::TestHttpServer() : listener_(static_cast<std::uintptr_t>(INVALID_SOCKET)) {
  startWinsock();
  SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (listener == INVALID_SOCKET) return;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;
  int length = sizeof address;
  if (bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      listen(listener, 8) != 0 ||
      getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    closesocket(listener);
    return;
  }
  listener_ = static_cast<std::uintptr_t>(listener);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { run(); });
}

TestHttpServer::~TestHttpServer() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (toSocket(listener_) != INVALID_SOCKET) closesocket(toSocket(listener_));
}

void TestHttpServer::enqueue(ServerScript script) {
  std::lock_guard<std::mutex> lock(mutex_);
  scripts_.push_back(std::move(script));
}

std::vector<std::string> TestHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

bool TestHttpServer::waitStopped(int milliseconds) {
  auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(milliseconds);
  while (!stop_) {
    auto left = until - std::chrono::steady_clock::now();
    if (left <= std::chrono::milliseconds(0)) return false;
    Sleep(static_cast<DWORD>(
        std::min<long long>(20, std::chrono::ceil<std::chrono::milliseconds>(left).count())));
  }
  return true;
}

void TestHttpServer::run() {
  while (!stop_) {
    if (!readable(toSocket(listener_), 20)) continue;
    SOCKET connection = accept(toSocket(listener_), nullptr, nullptr);
    if (connection == INVALID_SOCKET) continue;
    BOOL noDelay = TRUE;
    setsockopt(connection, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
               sizeof noDelay);
    serve(static_cast<std::uintptr_t>(connection));
    closesocket(connection);
  }
}

void TestHttpServer::serve(std::uintptr_t handle) {
  SOCKET connection = toSocket(handle);
  // The request: up to the blank line after the headers, then whatever follows at once
  // (a body that should not be there). A client that is not speaking HTTP gets a second.
  std::string request;
  char buffer[4096];
  auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(1);
  std::size_t end = std::string::npos;
  while (end == std::string::npos && std::chrono::steady_clock::now() < giveUp) {
    if (!readable(connection, 20)) continue;
    int count = recv(connection, buffer, sizeof buffer, 0);
    if (count <= 0) break;
    request.append(buffer, static_cast<std::size_t>(count));
    end = request.find("\r\n\r\n");
  }
  while (end != std::string::npos && readable(connection, 50)) {
    int count = recv(connection, buffer, sizeof buffer, 0);
    if (count <= 0) break;
    request.append(buffer, static_cast<std::size_t>(count));
  }

  ServerScript script;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(request);
    if (!scripts_.empty()) {
      script = std::move(scripts_.front());
      scripts_.pop_front();
    } else {
      script = {ServerStep::send(httpResponse(404, {"Content-Length: 0"}))};
    }
  }

  for (const ServerStep& step : script) {
    if (stop_) return;
    switch (step.kind) {
      case ServerStep::Kind::Send:
        if (!sendAll(connection, step.bytes)) return;
        break;
      case ServerStep::Kind::Pause:
        if (waitStopped(step.milliseconds)) return;
        break;
      case ServerStep::Kind::Silence:
        // Until the client hangs up (readable with nothing to read) or the server stops.
        while (!stop_) {
          if (readable(connection, 20) && recv(connection, buffer, sizeof buffer, 0) <= 0) return;
        }
        return;
      case ServerStep::Kind::Endless:
        while (!stop_ && sendAll(connection, step.bytes)) {
          if (step.milliseconds > 0 && waitStopped(step.milliseconds)) return;
        }
        return;
    }
  }
  shutdown(connection, SD_SEND);
  // Let the client read to the end before the socket goes.
  while (readable(connection, 200) && recv(connection, buffer, sizeof buffer, 0) > 0) {
  }
}

std::uint16_t closedPort() {
  startWinsock();
  SOCKET probe = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  int length = sizeof address;
  bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  closesocket(probe);
  return ntohs(address.sin_port);
}

}  // namespace tessaren::test

#endif  // _WIN32
