// A scripted HTTP server on 127.0.0.1 for tests that run under Wine: each connection is
// answered by the next script in line (send bytes, pause, fall silent, close, send for
// ever), and every request is recorded as it arrived. Windows builds only.
#pragma once

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessaren::test {

struct ServerStep {
  enum class Kind { Send, Pause, Silence, Endless };
  Kind kind = Kind::Send;
  std::string bytes{};
  int milliseconds = 0;

  static ServerStep send(std::string bytes) { return {Kind::Send, std::move(bytes), 0}; }
  static ServerStep pause(int milliseconds) { return {Kind::Pause, {}, milliseconds}; }
  // Says nothing more until the client gives up or the server stops.
  static ServerStep silence() { return {Kind::Silence, {}, 0}; }
  // Sends bytes again and again, pausing between sends, until the client gives up.
  static ServerStep endless(std::string bytes, int pauseMilliseconds = 0) {
    return {Kind::Endless, std::move(bytes), pauseMilliseconds};
  }
};
// The connection is closed after the last step.
using ServerScript = std::vector<ServerStep>;

// The status line, the given header lines and the blank line, then the body.
std::string httpResponse(int status, const std::vector<std::string>& headers,
                         const std::string& body = "");
// A 200 answer with Content-Length, sent in one piece.
ServerScript servePicture(const std::string& body);
// bytes in pieces of the given sizes (the last size repeats), pausing between them.
ServerScript sendInPieces(const std::string& bytes, const std::vector<std::size_t>& sizes,
                          int pauseMilliseconds);

class TestHttpServer {
 public:
  TestHttpServer();  // listens on a free port of 127.0.0.1
  ~TestHttpServer();
  TestHttpServer(const TestHttpServer&) = delete;
  TestHttpServer& operator=(const TestHttpServer&) = delete;

  std::uint16_t port() const { return port_; }
  bool listening() const { return port_ != 0; }
  // Answers the next connection; connections beyond the queued scripts get a 404.
  void enqueue(ServerScript script);
  // Everything each connection sent before its answer began, in order.
  std::vector<std::string> requests() const;

 private:
  void run();
  void serve(std::uintptr_t connection);
  bool waitStopped(int milliseconds);

  std::uintptr_t listener_;
  std::uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  mutable std::mutex mutex_;
  std::deque<ServerScript> scripts_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// A port on 127.0.0.1 where nobody listens.
std::uint16_t closedPort();

}  // namespace tessaren::test
