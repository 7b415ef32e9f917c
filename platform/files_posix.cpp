// POSIX files behind Files, so that native tests run whole updates on real files.
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/files.h"

namespace tessaren {
namespace {

Failure failureOf(const std::string& what, const std::string& path, int code) {
  if (code == ENOSPC) return {FailureKind::DiskFull, "can't write " + path + ": disk full"};
  return {FailureKind::CannotWrite,
          what + " " + path + ": " + std::strerror(code) + " (" + std::to_string(code) + ")"};
}

bool isDirectory(const std::string& path) {
  struct stat status {};
  return ::stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// What stands at path itself, a link not followed.
mode_t typeAt(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & S_IFMT : 0;
}

class PosixOutputFile final : public OutputFile {
 public:
  PosixOutputFile(std::string path, int descriptor)
      : path_(std::move(path)), descriptor_(descriptor) {}
  ~PosixOutputFile() override {
    if (descriptor_ >= 0) ::close(descriptor_);
    if (!kept_) ::unlink(path_.c_str());
  }
  bool write(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const ssize_t written = ::write(descriptor_, bytes, size);
      if (written < 0) return fail("can't write", errno);
      if (written == 0) return fail("can't write", ENOSPC);
      bytes += written;
      size -= static_cast<std::size_t>(written);
    }
    return true;
  }
  bool close() override {
    if (descriptor_ < 0) return false;
    const int result = ::close(descriptor_);
    descriptor_ = -1;
    return result == 0 || fail("can't write", errno);
  }
  bool moveOver(const std::string& destination) override {
    if (descriptor_ >= 0 || kept_) return false;
    if (std::rename(path_.c_str(), destination.c_str()) != 0) {
      failure_ = failureOf("can't replace", destination, errno);
      return false;
    }
    kept_ = true;
    return true;
  }
  const std::string& path() const override { return path_; }
  const Failure& failure() const override { return failure_; }

 private:
  bool fail(const char* what, int code) {
    failure_ = failureOf(what, path_, code);
    return false;
  }

  std::string path_;
  int descriptor_;
  bool kept_ = false;
  Failure failure_;
};

class PosixFiles final : public Files {
 public:
  std::unique_ptr<OutputFile> create(const std::string& path, Failure& why) override {
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (descriptor < 0) {
      why = failureOf("can't create", path, errno);
      return nullptr;
    }
    return std::make_unique<PosixOutputFile>(path, descriptor);
  }
  std::optional<Failure> makeFolder(const std::string& folder) override {
    for (std::size_t at = 1; at <= folder.size(); ++at) {
      if (at < folder.size() && folder[at] != '/') continue;
      if (::mkdir(folder.substr(0, at).c_str(), 0755) != 0 && errno != EEXIST)
        return failureOf("can't create the folder", folder, errno);
    }
    if (isDirectory(folder)) return std::nullopt;
    return failureOf("can't create the folder", folder, ENOTDIR);
  }
  std::optional<Failure> replace(const std::string& from, const std::string& to) override {
    if (std::rename(from.c_str(), to.c_str()) == 0) return std::nullopt;
    return failureOf("can't replace", to, errno);
  }
  bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
  bool exists(const std::string& path) override { return ::access(path.c_str(), F_OK) == 0; }
  std::optional<std::uint64_t> freeBytes(const std::string& folder) override {
    struct statvfs volume {};
    if (::statvfs(folder.empty() ? "." : folder.c_str(), &volume) != 0) return std::nullopt;
    return std::uint64_t{volume.f_bavail} * volume.f_frsize;
  }
  std::vector<std::string> list(const std::string& folder, const std::string& prefix,
                                const std::string& suffix) override {
    std::vector<std::string> names;
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) return names;
    while (const dirent* entry = ::readdir(directory)) {
      const std::string name = entry->d_name;
      if (name.size() >= prefix.size() + suffix.size() && name.starts_with(prefix) &&
          name.ends_with(suffix) && typeAt(folder + name) == S_IFREG)
        names.push_back(name);
    }
    ::closedir(directory);
    return names;
  }
  std::vector<std::string> folders(const std::string& folder) override {
    std::vector<std::string> names;
    DIR* directory = ::opendir(folder.c_str());
    if (directory == nullptr) return names;
    while (const dirent* entry = ::readdir(directory)) {
      const std::string name = entry->d_name;
      if (name != "." && name != ".." && typeAt(folder + name) == S_IFDIR) names.push_back(name);
    }
    ::closedir(directory);
    return names;
  }
  bool isLink(const std::string& path) override {
    std::string name = path;
    while (name.size() > 1 && name.back() == '/') name.pop_back();
    return typeAt(name) == S_IFLNK;
  }
  std::optional<std::uint64_t> size(const std::string& path) override {
    struct stat status {};
    if (::stat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode)) return std::nullopt;
    return static_cast<std::uint64_t>(status.st_size);
  }
  std::optional<Failure> keepCopy(const std::string& from, const std::string& to) override {
    if (::link(from.c_str(), to.c_str()) == 0) return std::nullopt;
    if (errno == EEXIST) return failureOf("can't create", to, EEXIST);
    const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (in < 0) return failureOf("can't read", from, errno);
    Failure why;
    std::unique_ptr<OutputFile> out = create(to, why);
    if (!out) {
      ::close(in);
      return why;
    }
    char buffer[64 * 1024];
    ssize_t got = 0;
    while ((got = ::read(in, buffer, sizeof buffer)) > 0)
      if (!out->write(buffer, static_cast<std::size_t>(got))) break;
    const int readError = got < 0 ? errno : 0;
    ::close(in);
    if (readError != 0) return failureOf("can't read", from, readError);
    if (got > 0 || !out->close()) return out->failure();
    if (!out->moveOver(to)) return out->failure();
    return std::nullopt;
  }
  bool removeFolder(const std::string& folder) override {
    return ::rmdir(folder.c_str()) == 0 || !isDirectory(folder);
  }
};

}  // namespace

std::uint64_t unpredictableBits() {
  std::uint64_t bits = 0;
  while (::getrandom(&bits, sizeof bits, 0) != static_cast<ssize_t>(sizeof bits)) {
  }
  return bits;
}

Files& platformFiles() {
  static PosixFiles files;
  return files;
}

}  // namespace tessaren
