// Owners of kernel32's handles and memory: files, mutexes and tokens (CloseHandle), file
// searches (FindClose) and the blocks Windows allocates for its answers (LocalFree).
// Windows only.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace tessaren {

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

struct FreeLocalMemory {
  void operator()(void* block) const { LocalFree(block); }
};
// What FormatMessage (FORMAT_MESSAGE_ALLOCATE_BUFFER) and the SID and security descriptor
// conversions hand out, through receive().
template <typename Pointer>
using LocalMemory = Owned<Pointer, FreeLocalMemory>;

}  // namespace tessaren
