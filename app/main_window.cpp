// The hidden main window: it owns the refresh timer, receives the tray icon's
// notifications and carries the menu commands.
#include "app/main_window.h"

#include "app/refresh_cycle.h"
#include "app/scoped_win32.h"
#include "res/resource.h"
#include "settings/properties_dialog_win32.h"
#include "tray/tray_icon.h"

namespace tessaren {
namespace {

HINSTANCE instance = nullptr;
// Sent to every top-level window when the shell (re)starts: our icon must be added again.
UINT taskbarCreatedMessage = 0;

WindowHandle handleOf(HWND window) { return reinterpret_cast<WindowHandle>(window); }

void showAboutBox(HWND window) {
  DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_ABOUTBOX), window, aboutDialogProc, 0);
}

}  // namespace

HINSTANCE moduleInstance() { return instance; }

void registerMainClass(HINSTANCE module, const char* className) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = mainWindowProc;
  windowClass.hInstance = module;
  windowClass.hIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_TESSAREN));
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  windowClass.lpszMenuName = MAKEINTRESOURCEA(IDC_TESSAREN);
  windowClass.lpszClassName = className;
  windowClass.hIconSm = LoadIconA(module, MAKEINTRESOURCEA(IDI_SMALL));
  RegisterClassExA(&windowClass);
}

bool createMainWindow(HINSTANCE module, int, const char* className, const char* title) {
  instance = module;
  taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
  // Never shown: the show command the program was started with is dropped.
  HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                CW_USEDEFAULT, 0, nullptr, nullptr, module, nullptr);
  if (window == nullptr) return false;
  setMainWindowHandle(handleOf(window));
  trayIcon().add(IconState::Ready, handleOf(window), kTrayNotifyMessage,
                 reinterpret_cast<ModuleHandle>(module));
  trayIcon().setTip(kTipIdle);
  refreshCycle();
  return true;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      // Whichever way the window ends, no dead icon stays behind in the tray.
      trayIcon().remove();
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      RECT client;
      GetClientRect(window, &client);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDM_ABOUT:
        case IDM_TRAY_ABOUT:
          showAboutBox(window);
          return 0;
        case IDM_TRAY_RELOAD:
          refreshCycle();
          return 0;
        case IDM_TRAY_PROPERTIES:
          DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_PROPERTIES), window, propertiesDialogProc,
                          0);
          return 0;
        case IDM_TRAY_EXIT:
          exitFromTray(window);
          return 0;
        case IDM_EXIT:
          DestroyWindow(window);
          return 0;
      }
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_TIMER:
      refreshCycle();
      return 0;
    case kTrayNotifyMessage:
      onTrayNotify(wParam, lParam, window);
      return 0;
  }
  if (message == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
    trayIcon().restore();
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void onTrayNotify(WPARAM, LPARAM lParam, HWND window) {
  if (LOWORD(lParam) != WM_RBUTTONUP) return;
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(window);
  ScopedMenu menu(LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAY_MENU)));
  HMENU popup = GetSubMenu(menu.get(), 0);
  POINT cursor{};
  GetCursorPos(&cursor);
  TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, window, nullptr);
  PostMessageA(window, WM_NULL, 0, 0);
}

void exitFromTray(HWND window) {
  trayIcon().remove();
  PostMessageA(window, WM_DESTROY, 0, 0);
}

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      return TRUE;
    case WM_COMMAND:
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
      }
      break;
  }
  return FALSE;
}

}  // namespace tessaren
