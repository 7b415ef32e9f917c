// The file calls that store a download, behind one small interface: the Win32 side
// (local_file_win32.cpp) is CreateFileA/WriteFile/CloseHandle/MoveFileExA/DeleteFileA and
// friends, the native side plain POSIX files, and tests wrap either to inject failures.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

// An open file as the platform hands it out; 0 means none.
using LocalFileHandle = std::uintptr_t;

class LocalFileApi {
 public:
  virtual ~LocalFileApi() = default;
  // CreateFileA(path, GENERIC_WRITE, FILE_SHARE_DELETE, NULL, CREATE_ALWAYS,
  // FILE_ATTRIBUTE_NORMAL, NULL): write only, an existing file is emptied; nobody else may
  // read or write it, but it may be deleted while open (an update abandoned at exit).
  virtual LocalFileHandle createForWriting(const std::string& path) = 0;
  // WriteFile(file, data, size, &written, NULL)
  virtual bool write(LocalFileHandle file, const std::uint8_t* data, std::uint32_t size,
                     std::uint32_t& written) = 0;
  // CloseHandle(file)
  virtual bool close(LocalFileHandle file) = 0;
  // MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING): to is replaced in one step.
  virtual bool replace(const std::string& from, const std::string& to) = 0;
  // DeleteFileA(path)
  virtual bool remove(const std::string& path) = 0;
  // GetFileAttributesA(path) names an existing file.
  virtual bool exists(const std::string& path) = 0;
  // CreateDirectoryA for the folder and each missing parent; true when it exists after.
  virtual bool createDirectories(const std::string& directory) = 0;
  // The system's words for the last failure on this thread, with its number:
  // "There is not enough space on the disk. (112)".
  virtual std::string lastErrorText() = 0;
};

// The file functions in use: the platform's own unless a test has put others in place.
LocalFileApi& localFileApi();
// Puts api in place of the platform's functions; nullptr restores the platform's.
void setLocalFileApi(LocalFileApi* api);

LocalFileApi& platformLocalFileApi();

}  // namespace tessaren
