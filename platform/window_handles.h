// Owners of user32's objects: menus, icons and windows. A window the program ends on purpose
// at a moment of its choosing (the main window, on Exit) is destroyed by name instead.
// Windows only.
#pragma once

#include <windows.h>

#include "platform/handles.h"

namespace tessaren {

struct DestroyMenuHandle {
  void operator()(HMENU menu) const { DestroyMenu(menu); }
};
using OwnedMenu = Owned<HMENU, DestroyMenuHandle>;

struct DestroyIconHandle {
  void operator()(HICON icon) const { DestroyIcon(icon); }
};
using OwnedIcon = Owned<HICON, DestroyIconHandle>;

struct DestroyWindowHandle {
  void operator()(HWND window) const { DestroyWindow(window); }
};
using OwnedWindow = Owned<HWND, DestroyWindowHandle>;

}  // namespace tessaren
