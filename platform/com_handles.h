// Owners for COM (ole32): an interface pointer, released once, and the memory COM and the
// shell hand out (CoTaskMemFree). Windows only.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <objbase.h>

#include "platform/handles.h"

namespace tessaren {

struct ReleaseInterface {
  void operator()(IUnknown* object) const { object->Release(); }
};
// Like ComPtr, but move-only as every owner here: it holds one reference, so a copy would
// have to AddRef, and nothing in the program needs two.
template <typename Interface>
class ComOwner : public Owned<Interface*, ReleaseInterface> {
 public:
  using Owned<Interface*, ReleaseInterface>::Owned;
  Interface* operator->() const { return this->get(); }
};

struct FreeTaskMemory {
  void operator()(void* block) const { CoTaskMemFree(block); }
};
// What COM or the shell allocated for the caller, such as SHParseDisplayName's item list.
template <typename Pointer>
using TaskMemory = Owned<Pointer, FreeTaskMemory>;

}  // namespace tessaren
