// The move-only owner every handle type's owner is made from, and the owners of the C
// library's files and blocks: each closes its handle with the right function on every way
// out of the scope that holds it, and none can be copied, so a handle is closed exactly
// once. The Win32 owners are in one header per library (kernel_handles.h,
// registry_handles.h, internet_handles.h, window_handles.h, com_handles.h,
// device_handles.h), each including the headers it needs, so that portable code includes
// this one and never <windows.h>; the picture libraries' owners are beside their decoders.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

namespace tessaren {

// Handle is a pointer-like type whose empty value is Handle{}; Close{}(handle) closes it.
template <typename Handle, typename Close>
class Owned {
 public:
  Owned() = default;
  explicit Owned(Handle handle) : handle_(handle) {}
  ~Owned() { reset(); }
  Owned(Owned&& other) noexcept : handle_(std::exchange(other.handle_, Handle{})) {}
  Owned& operator=(Owned&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, Handle{}));
    return *this;
  }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;

  Handle get() const { return handle_; }
  explicit operator bool() const { return handle_ != Handle{}; }
  // Closes what is held and holds handle instead.
  void reset(Handle handle = Handle{}) {
    if (handle_ != Handle{}) Close{}(handle_);
    handle_ = handle;
  }
  // Hands the handle over without closing it.
  [[nodiscard]] Handle release() { return std::exchange(handle_, Handle{}); }
  // For APIs that return the handle through a pointer: closes what is held first.
  Handle* receive() {
    reset();
    return &handle_;
  }

 private:
  Handle handle_{};
};

struct CloseFile {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OwnedFile = Owned<std::FILE*, CloseFile>;

struct FreeBlock {
  void operator()(void* block) const { std::free(block); }
};
// A block from malloc or calloc.
template <typename T>
using MallocBlock = std::unique_ptr<T, FreeBlock>;

}  // namespace tessaren
