// The test HTTP server from the test's side (tests/support/with_picture_server.sh starts
// it): its address, the folder it serves, and the requests it logged.
#pragma once

#include <string>
#include <vector>

namespace tessaren::test {

struct LoggedRequest {
  std::string path;         // with its query; "!" for bytes that were no HTTP
  std::string ifNoneMatch;  // "-" when absent; bytes beyond ASCII as \xNN
  std::string cookie;
  std::string authorization;
  std::string headers;  // every header line as it came, joined by "|"
};

class PictureServer {
 public:
  // From the environment the script sets; ready() is false without it.
  PictureServer();
  bool ready() const { return !address_.empty(); }
  // "http://127.0.0.1:PORT" + path.
  std::string url(const std::string& path) const { return "http://" + address_ + path; }
  const std::string& hostAndPort() const { return address_; }
  // Serves bytes under name from now on.
  void put(const std::string& name, const std::string& bytes) const;
  std::vector<LoggedRequest> requests() const;
  // Forgets the requests logged so far.
  void clearLog() const;

 private:
  std::string address_;
  std::string root_;  // as this build's file functions name it
  std::string log_;
};

}  // namespace tessaren::test
