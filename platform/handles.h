// Move-only owners for every kind of handle the program opens: each closes its handle
// with the right function on every way out of the scope that holds it, and none can be
// copied, so a handle is closed exactly once. The Win32 and library owners appear only
// where the including file already includes that API's header, so that portable code
// never sees <windows.h>.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <utility>

#include "platform/soak_counters.h"

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

#if defined(_WIN32) && defined(_WINDEF_)
struct CloseWin32Handle {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
// CreateFile's INVALID_HANDLE_VALUE is stored as nullptr: see ownedFileHandle.
using OwnedHandle = Owned<HANDLE, CloseWin32Handle>;
inline OwnedHandle ownedFileHandle(HANDLE file) {
  return OwnedHandle(file == INVALID_HANDLE_VALUE ? nullptr : file);
}
struct CloseSearch {
  void operator()(HANDLE search) const { FindClose(search); }
};
// FindFirstFile's INVALID_HANDLE_VALUE is stored as nullptr.
class OwnedSearch : public Owned<HANDLE, CloseSearch> {
 public:
  explicit OwnedSearch(HANDLE search) : Owned(search == INVALID_HANDLE_VALUE ? nullptr : search) {}
};
struct DestroyMenuHandle {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using OwnedMenu = Owned<HMENU, DestroyMenuHandle>;
struct DestroyIconHandle {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
using OwnedIcon = Owned<HICON, DestroyIconHandle>;
struct CloseRegistryKey {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using OwnedKey = Owned<HKEY, CloseRegistryKey>;
#endif

#if defined(_WIN32) && defined(_WININET_)
struct CloseInternetHandle {
  void operator()(HINTERNET handle) const {
    InternetCloseHandle(handle);
#ifdef TESSAREN_SOAK_COUNTERS
    --soak::internetHandles;
#endif
  }
};
using OwnedInternet = Owned<HINTERNET, CloseInternetHandle>;
// An internet handle just opened, counted for the soak where it counts.
inline HINTERNET counted(HINTERNET handle) {
#ifdef TESSAREN_SOAK_COUNTERS
  if (handle != nullptr) ++soak::internetHandles;
#endif
  return handle;
}
#endif

// The picture libraries' objects. Each section needs the library's own header included
// first, as <windows.h> for the Win32 owners above.
#if defined(JPEGLIB_H)
struct DestroyDecompress {
  void operator()(j_decompress_ptr info) const { jpeg_destroy_decompress(info); }
};
// A decompression object after jpeg_create_decompress; its pools go with it.
using OwnedDecompress = Owned<j_decompress_ptr, DestroyDecompress>;
#endif

#if defined(SPNG_H)
struct FreeSpngContext {
  void operator()(spng_ctx* context) const { spng_ctx_free(context); }
};
using OwnedSpng = Owned<spng_ctx*, FreeSpngContext>;
#endif

#if defined(WEBP_WEBP_DECODE_H_)
struct DeleteWebPIncremental {
  void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};
using OwnedWebPIncremental = Owned<WebPIDecoder*, DeleteWebPIncremental>;
#endif

#if defined(WEBP_WEBP_DEMUX_H_)
struct DeleteWebPAnimation {
  void operator()(WebPAnimDecoder* decoder) const { WebPAnimDecoderDelete(decoder); }
};
using OwnedWebPAnimation = Owned<WebPAnimDecoder*, DeleteWebPAnimation>;
#endif

#if defined(_GIF_LIB_H_)
struct CloseGif {
  void operator()(GifFileType* gif) const { DGifCloseFile(gif, nullptr); }
};
using OwnedGif = Owned<GifFileType*, CloseGif>;
#endif

}  // namespace tessaren
