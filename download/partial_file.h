// A file being written beside its final name: deleted on every way out unless it was
// moved into place, so that no half-written download is ever left behind.
#pragma once

#include <cstdint>
#include <string>

#include "download/local_file_api.h"

namespace tessaren {

class PartialFile {
 public:
  explicit PartialFile(std::string path) : path_(std::move(path)) {}
  ~PartialFile() { discard(); }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  const std::string& path() const { return path_; }
  // Each step returns false with the reason left in failure().
  bool create();
  bool write(const std::uint8_t* data, std::uint32_t size);
  bool close();
  // Replaces destination with the finished file; from then on it is no longer ours.
  bool moveOver(const std::string& destination);
  // Closes and deletes the file, if it was created and is still ours.
  void discard();

  // "can't write C:\...\tessaren.jpg.part: There is not enough space on the disk. (112)"
  const std::string& failure() const { return failure_; }

 private:
  bool fail(const std::string& what);

  std::string path_;
  LocalFileHandle file_ = 0;
  bool created_ = false;
  std::string failure_;
};

}  // namespace tessaren
