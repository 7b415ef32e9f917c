// The partial file's steps, each through the platform's file functions.
#include "download/partial_file.h"

#include <utility>

namespace tessaren {

bool PartialFile::fail(const std::string& what) {
  failure_ = what + " " + path_ + ": " + localFileApi().lastErrorText();
  return false;
}

bool PartialFile::create() {
  file_ = localFileApi().createForWriting(path_);
  created_ = file_ != 0;
  return created_ || fail("can't create");
}

bool PartialFile::write(const std::uint8_t* data, std::uint32_t size) {
  std::uint32_t written = 0;
  if (!localFileApi().write(file_, data, size, written)) return fail("can't write");
  if (written == size) return true;
  // A short write without an error: the disk is full.
  failure_ = "can't write " + path_ + ": disk full";
  return false;
}

bool PartialFile::close() {
  return localFileApi().close(std::exchange(file_, 0)) || fail("can't write");
}

bool PartialFile::moveOver(const std::string& destination) {
  if (!localFileApi().replace(path_, destination)) {
    failure_ = "can't replace " + destination + ": " + localFileApi().lastErrorText();
    return false;
  }
  created_ = false;
  return true;
}

void PartialFile::discard() {
  if (file_ != 0) localFileApi().close(std::exchange(file_, 0));
  if (created_) localFileApi().remove(path_);
  created_ = false;
}

}  // namespace tessaren
