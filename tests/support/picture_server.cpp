// The test server's address, folder and log, from the environment.
#include "tests/support/picture_server.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace tessaren::test {
namespace {

// Wine shows the Unix file system as drive Z:.
std::string localPath(const char* unixPath) {
  std::string path = unixPath;
#ifdef _WIN32
  for (char& c : path)
    if (c == '/') c = '\\';
  path = "Z:" + path;
#endif
  return path;
}

std::string separator() {
#ifdef _WIN32
  return "\\";
#else
  return "/";
#endif
}

}  // namespace

PictureServer::PictureServer() {
  const char* address = std::getenv("TESSAREN_TEST_SERVER");
  const char* root = std::getenv("TESSAREN_TEST_ROOT");
  const char* log = std::getenv("TESSAREN_TEST_LOG");
  if (address == nullptr || root == nullptr || log == nullptr) return;
  address_ = address;
  root_ = localPath(root);
  log_ = localPath(log);
}

void PictureServer::put(const std::string& name, const std::string& bytes) const {
  std::ofstream(root_ + separator() + name, std::ios::binary) << bytes;
}

std::vector<LoggedRequest> PictureServer::requests() const {
  std::vector<LoggedRequest> found;
  std::ifstream in(log_);
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream fields(line);
    std::string time;
    LoggedRequest request;
    std::getline(fields, time, '\t');
    std::getline(fields, request.path, '\t');
    std::getline(fields, request.ifNoneMatch, '\t');
    std::getline(fields, request.cookie, '\t');
    std::getline(fields, request.authorization, '\t');
    std::getline(fields, request.headers, '\t');
    found.push_back(request);
  }
  return found;
}

void PictureServer::clearLog() const { std::ofstream(log_, std::ios::trunc); }

}  // namespace tessaren::test
