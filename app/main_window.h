// The hidden main window: its class, its procedure, the tray notification, the commands
// and the About box.
#pragma once

#include <windows.h>

namespace tessaren {

// Module instance stored by createMainWindow, for icons, menus and dialogs.
HINSTANCE moduleInstance();

void registerMainClass(HINSTANCE instance, const char* className);
// Creates the never-shown main window, adds the tray icon and runs the first refresh
// cycle; false when no window could be created.
bool createMainWindow(HINSTANCE instance, int showCommand, const char* className,
                      const char* title);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void onTrayNotify(WPARAM wParam, LPARAM lParam, HWND window);
void exitFromTray(HWND window);
INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessaren
