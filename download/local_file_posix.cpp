// The native build stores downloads with POSIX files, so that native tests can run a
// whole update against real files on disk.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "download/local_file_api.h"

namespace tessaren {
namespace {

// Descriptors are kept one above their number so that 0 can mean "none".
int toDescriptor(LocalFileHandle file) { return static_cast<int>(file) - 1; }

bool isDirectory(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

class PosixFiles final : public LocalFileApi {
 public:
  LocalFileHandle createForWriting(const std::string& path) override {
    int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    return descriptor < 0 ? 0 : static_cast<LocalFileHandle>(descriptor) + 1;
  }
  bool write(LocalFileHandle file, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override {
    ssize_t count = ::write(toDescriptor(file), data, size);
    written = count < 0 ? 0 : static_cast<std::uint32_t>(count);
    return count >= 0;
  }
  bool close(LocalFileHandle file) override { return ::close(toDescriptor(file)) == 0; }
  bool replace(const std::string& from, const std::string& to) override {
    return std::rename(from.c_str(), to.c_str()) == 0;
  }
  bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
  bool exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }
  bool createDirectories(const std::string& directory) override {
    for (std::size_t at = 1; at <= directory.size(); ++at) {
      if (at < directory.size() && directory[at] != '/') continue;
      const std::string folder = directory.substr(0, at);
      if (::mkdir(folder.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    if (isDirectory(directory)) return true;
    errno = ENOTDIR;
    return false;
  }
  std::string lastErrorText() override {
    const int code = errno;
    return std::string(std::strerror(code)) + " (" + std::to_string(code) + ")";
  }
};

}  // namespace

LocalFileApi& platformLocalFileApi() {
  static PosixFiles files;
  return files;
}

}  // namespace tessaren
