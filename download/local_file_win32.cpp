// The Win32 file functions behind LocalFileApi, with the arguments named in
// local_file_api.h.
#include <windows.h>

#include "download/local_file_api.h"

namespace tessaren {
namespace {

HANDLE toHandle(LocalFileHandle file) { return reinterpret_cast<HANDLE>(file); }

bool isSeparator(char c) { return c == '\\' || c == '/'; }

bool isDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// Where the folders that may need creating begin: after "C:\" or "\\server\share\".
std::size_t firstCreatable(const std::string& path) {
  if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    std::size_t at = 2;
    for (int part = 0; part < 2 && at < path.size(); ++part) {
      while (at < path.size() && !isSeparator(path[at])) ++at;
      ++at;
    }
    return at;
  }
  if (path.size() >= 3 && path[1] == ':' && isSeparator(path[2])) return 3;
  return 0;
}

class Win32Files final : public LocalFileApi {
 public:
  LocalFileHandle createForWriting(const std::string& path) override {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_DELETE, nullptr,
                              CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? 0 : reinterpret_cast<LocalFileHandle>(file);
  }
  bool write(LocalFileHandle file, const std::uint8_t* data, std::uint32_t size,
             std::uint32_t& written) override {
    DWORD count = 0;
    BOOL ok = WriteFile(toHandle(file), data, size, &count, nullptr);
    written = count;
    return ok != FALSE;
  }
  bool close(LocalFileHandle file) override { return CloseHandle(toHandle(file)) != FALSE; }
  bool replace(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  }
  bool remove(const std::string& path) override { return DeleteFileA(path.c_str()) != FALSE; }
  bool exists(const std::string& path) override {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  bool createDirectories(const std::string& directory) override {
    if (isDirectory(directory)) return true;
    for (std::size_t at = firstCreatable(directory); at <= directory.size(); ++at) {
      if (at < directory.size() && !isSeparator(directory[at])) continue;
      const std::string folder = directory.substr(0, at);
      if (folder.empty() || isSeparator(folder.back())) continue;
      if (!CreateDirectoryA(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS)
        return false;
    }
    if (isDirectory(directory)) return true;
    SetLastError(ERROR_DIRECTORY);  // a file of that name stands in the way
    return false;
  }
  std::string lastErrorText() override {
    const DWORD code = GetLastError();
    char* text = nullptr;
    const DWORD length = FormatMessageA(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, code, 0, reinterpret_cast<char*>(&text), 0, nullptr);
    std::string message = length > 0 && text != nullptr ? std::string(text, length) : "error";
    LocalFree(text);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
      message.pop_back();
    return message + " (" + std::to_string(code) + ")";
  }
};

}  // namespace

LocalFileApi& platformLocalFileApi() {
  static Win32Files files;
  return files;
}

}  // namespace tessaren
