// The Win32 file functions behind LocalFileApi, with the arguments named in
// local_file_api.h.
#include <windows.h>

#include "download/local_file_api.h"

namespace tessaren {
namespace {

HANDLE toHandle(LocalFileHandle file) { return reinterpret_cast<HANDLE>(file); }

class Win32Files final : public LocalFileApi {
 public:
  LocalFileHandle createForWriting(const std::string& path) override {
    SECURITY_ATTRIBUTES attributes{};
    attributes.nLength = sizeof attributes;
    attributes.lpSecurityDescriptor = nullptr;
    attributes.bInheritHandle = TRUE;
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, &attributes, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
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
};

}  // namespace

LocalFileApi& platformLocalFileApi() {
  static Win32Files files;
  return files;
}

}  // namespace tessaren
