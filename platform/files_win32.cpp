// The Win32 file functions behind Files. A new file is opened with delete sharing and
// marked for deletion at once: whatever happens to the update or the process, no
// half-written file is left behind; close() takes the mark away.
#include <windows.h>
// after windows.h
#include <bcrypt.h>

#include <chrono>
#include <random>

#include "platform/files.h"
#include "platform/kernel_handles.h"
#include "platform/system_error.h"

namespace tessaren {
namespace {

Failure failureOf(const std::string& what, const std::string& path, DWORD code) {
  if (code == ERROR_DISK_FULL || code == ERROR_HANDLE_DISK_FULL)
    return {FailureKind::DiskFull, "can't write " + path + ": disk full"};
  return {FailureKind::CannotWrite, what + " " + path + ": " + systemErrorText(code)};
}

bool markForDeletion(HANDLE file, bool deleteIt) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = deleteIt ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) !=
         FALSE;
}

// How long a file another program holds keeps a replace waiting: a preview pane, a
// thumbnailer or a virus scan lets go within a second or two.
constexpr std::chrono::seconds kHeldAtMost{5};
constexpr DWORD kRetryEveryMs = 100;

// Opened by another program that did not leave it free to be deleted (so neither renamed
// nor replaced): CreateFile answers a sharing violation.
bool heldByAnother(const std::string& path) {
  const HANDLE file =
      CreateFileA(path.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file != INVALID_HANDLE_VALUE) {
    CloseHandle(file);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

// MoveFileEx answers a file in use by another program with a sharing violation (the file
// moved) or access denied (the file replaced); both end when the program lets go.
std::optional<Failure> moveReplacing(const std::string& from, const std::string& to) {
  const auto giveUpAt = std::chrono::steady_clock::now() + kHeldAtMost;
  for (;;) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return std::nullopt;
    const DWORD code = GetLastError();
    if (code != ERROR_SHARING_VIOLATION && code != ERROR_ACCESS_DENIED &&
        code != ERROR_LOCK_VIOLATION)
      return failureOf("can't replace", to, code);
    if (std::chrono::steady_clock::now() >= giveUpAt) {
      for (const std::string* held : {&to, &from}) {
        if (!heldByAnother(*held)) continue;
        return Failure{FailureKind::CannotWrite, "can't replace " + to + ": another program held " +
                                                     (held == &to ? std::string("it") : *held) +
                                                     " for " + std::to_string(kHeldAtMost.count()) +
                                                     " s (" + systemErrorText(code) + ")"};
      }
      return failureOf("can't replace", to, code);
    }
    Sleep(kRetryEveryMs);
  }
}

// A symbolic link or a junction: a reparse point that stands for another name (one whose
// kind is not told, as Wine reports a Unix link to a folder, counts too). A file OneDrive
// keeps in the cloud is a reparse point of another kind, listed like any file.
bool isNameSurrogate(DWORD attributes, DWORD tag) {
  return (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0 &&
         (tag == 0 || IsReparseTagNameSurrogate(tag));
}

bool isDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where the folders that may need making begin: after "C:\" or "\\server\share\".
std::size_t firstMakeable(const std::string& path) {
  if (path.size() >= 2 && isPathSeparator(path[0]) && isPathSeparator(path[1])) {
    std::size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !isPathSeparator(path[at])) ++at;
      ++at;
    }
    return at;
  }
  if (path.size() >= 3 && path[1] == ':' && isPathSeparator(path[2])) return 3;
  return 0;
}

class Win32OutputFile final : public OutputFile {
 public:
  Win32OutputFile(std::string path, OwnedHandle file, bool marked)
      : path_(std::move(path)), file_(std::move(file)), marked_(marked) {}
  ~Win32OutputFile() override {
    // A marked file goes with its handle; one already closed is deleted by its name,
    // which belongs to this update alone.
    const bool closed = !file_;
    file_.reset();
    if ((closed || !marked_) && !kept_) DeleteFileA(path_.c_str());
  }

  bool write(const void* data, std::size_t size) override {
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
      const DWORD piece = static_cast<DWORD>(std::min<std::size_t>(size, 1u << 30));
      DWORD written = 0;
      if (!WriteFile(file_.get(), bytes, piece, &written, nullptr))
        return fail("can't write", GetLastError());
      // A short write without an error: the disk is full.
      if (written < piece) return fail("can't write", ERROR_DISK_FULL);
      bytes += written;
      size -= written;
    }
    return true;
  }
  bool close() override {
    if (!file_) return false;
    if (marked_ && !markForDeletion(file_.get(), false)) return fail("can't keep", GetLastError());
    marked_ = false;
    if (!CloseHandle(file_.release())) return fail("can't write", GetLastError());
    return true;
  }
  bool moveOver(const std::string& destination) override {
    if (file_ || kept_) return false;
    if (std::optional<Failure> problem = moveReplacing(path_, destination)) {
      failure_ = std::move(*problem);
      return false;
    }
    kept_ = true;
    return true;
  }
  const std::string& path() const override { return path_; }
  const Failure& failure() const override { return failure_; }

 private:
  bool fail(const char* what, DWORD code) {
    failure_ = failureOf(what, path_, code);
    return false;
  }

  std::string path_;
  OwnedHandle file_;
  bool marked_;
  bool kept_ = false;
  Failure failure_;
};

class Win32Files final : public Files {
 public:
  std::unique_ptr<OutputFile> create(const std::string& path, Failure& why) override {
    OwnedHandle file = ownedFileHandle(CreateFileA(path.c_str(), GENERIC_WRITE | DELETE,
                                                   FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                                   CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) {
      why = failureOf("can't create", path, GetLastError());
      return nullptr;
    }
    const bool marked = markForDeletion(file.get(), true);
    return std::make_unique<Win32OutputFile>(path, std::move(file), marked);
  }

  std::optional<Failure> makeFolder(const std::string& folder) override {
    if (isDirectory(folder)) return std::nullopt;
    for (std::size_t at = firstMakeable(folder); at <= folder.size(); ++at) {
      if (at < folder.size() && !isPathSeparator(folder[at])) continue;
      const std::string part = folder.substr(0, at);
      if (part.empty() || isPathSeparator(part.back())) continue;
      if (!CreateDirectoryA(part.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return Failure{FailureKind::CannotWrite, "can't create the folder " + folder + ": " +
                                                     systemErrorText(GetLastError())};
    }
    if (isDirectory(folder)) return std::nullopt;
    // A file of that name stands in the way.
    return Failure{FailureKind::CannotWrite,
                   "can't create the folder " + folder + ": " + systemErrorText(ERROR_DIRECTORY)};
  }

  std::optional<Failure> replace(const std::string& from, const std::string& to) override {
    return moveReplacing(from, to);
  }
  bool remove(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }
  bool exists(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  std::optional<std::uint64_t> freeBytes(const std::string& folder) override {
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExA(folder.empty() ? nullptr : folder.c_str(), &available, nullptr,
                             nullptr))
      return std::nullopt;
    return available.QuadPart;
  }
  std::vector<std::string> list(const std::string& folder, const std::string& prefix,
                                const std::string& suffix) override {
    std::vector<std::string> names;
    // The folder is taken literally: no folder can hold * or ? in its name, and only the
    // name part of the search may be a wildcard.
    if (folder.find_first_of("*?") != std::string::npos) return names;
    WIN32_FIND_DATAA found{};
    const OwnedSearch search(FindFirstFileExA((folder + "*").c_str(), FindExInfoBasic, &found,
                                              FindExSearchNameMatch, nullptr, 0));
    if (!search) return names;
    do {
      const std::string name = found.cFileName;
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
          !isNameSurrogate(found.dwFileAttributes, found.dwReserved0) &&
          name.size() >= prefix.size() + suffix.size() && name.starts_with(prefix) &&
          name.ends_with(suffix))
        names.push_back(name);
    } while (FindNextFileA(search.get(), &found));
    return names;
  }
  std::vector<std::string> folders(const std::string& folder) override {
    std::vector<std::string> names;
    if (folder.find_first_of("*?") != std::string::npos) return names;
    WIN32_FIND_DATAA found{};
    const OwnedSearch search(FindFirstFileExA((folder + "*").c_str(), FindExInfoBasic, &found,
                                              FindExSearchLimitToDirectories, nullptr, 0));
    if (!search) return names;
    do {
      const std::string name = found.cFileName;
      // The limit to folders is only a hint to the file system.
      if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
          !isNameSurrogate(found.dwFileAttributes, found.dwReserved0) && name != "." &&
          name != "..")
        names.push_back(name);
    } while (FindNextFileA(search.get(), &found));
    return names;
  }
  bool isLink(const std::string& path) override {
    std::string name = path;
    while (name.size() > 1 && isPathSeparator(name.back())) name.pop_back();
    if (name.find_first_of("*?") != std::string::npos) return false;
    // The search names the entry itself, with its reparse tag, as a listing would.
    WIN32_FIND_DATAA found{};
    const OwnedSearch search(
        FindFirstFileExA(name.c_str(), FindExInfoBasic, &found, FindExSearchNameMatch, nullptr, 0));
    return search && isNameSurrogate(found.dwFileAttributes, found.dwReserved0);
  }
  std::optional<std::uint64_t> size(const std::string& path) override {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &data) ||
        (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0)
      return std::nullopt;
    return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
  }
  std::optional<Failure> keepCopy(const std::string& from, const std::string& to) override {
    // FAT volumes and some network shares have no hard links: the bytes are copied then.
    if (CreateHardLinkA(to.c_str(), from.c_str(), nullptr)) return std::nullopt;
    if (GetLastError() == ERROR_ALREADY_EXISTS)
      return failureOf("can't create", to, ERROR_ALREADY_EXISTS);
    if (CopyFileExA(from.c_str(), to.c_str(), nullptr, nullptr, nullptr, COPY_FILE_FAIL_IF_EXISTS))
      return std::nullopt;
    const DWORD code = GetLastError();
    DeleteFileA(to.c_str());
    return failureOf("can't copy to", to, code);
  }
  bool removeFolder(const std::string& folder) override {
    return RemoveDirectoryA(folder.c_str()) != FALSE ||
           GetFileAttributesA(folder.c_str()) == INVALID_FILE_ATTRIBUTES;
  }
};

}  // namespace

std::uint64_t unpredictableBits() {
  std::uint64_t bits = 0;
  if (BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(&bits), sizeof bits,
                      BCRYPT_USE_SYSTEM_PREFERRED_RNG) >= 0)
    return bits;
  std::random_device device;  // the processor's generator, where the system's failed
  return std::uint64_t{device()} << 32 | device();
}

Files& platformFiles() {
  static Win32Files files;
  return files;
}

}  // namespace tessaren
