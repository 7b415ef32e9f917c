// Move-only owners of the Win32 handles the shell opens itself, each closed by its own
// function on every way out of the scope that opened it.
#pragma once

#include <windows.h>

#include <utility>

namespace tessaren {

template <typename Handle, auto close>
class ScopedWin32 {
 public:
  explicit ScopedWin32(Handle handle = nullptr) : handle_(handle) {}
  ~ScopedWin32() {
    if (handle_ != nullptr) close(handle_);
  }
  ScopedWin32(ScopedWin32&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  ScopedWin32& operator=(ScopedWin32&& other) noexcept {
    std::swap(handle_, other.handle_);
    return *this;
  }
  ScopedWin32(const ScopedWin32&) = delete;
  ScopedWin32& operator=(const ScopedWin32&) = delete;

  Handle get() const { return handle_; }

 private:
  Handle handle_;
};

using ScopedHandle = ScopedWin32<HANDLE, CloseHandle>;
using ScopedMenu = ScopedWin32<HMENU, DestroyMenu>;

}  // namespace tessaren
