// Tessaren's entry point: start-up, the first update, then the message loop.
#include <windows.h>

#include "app/main_window.h"
#include "app/scoped_win32.h"
#include "res/resource.h"

namespace {

// A second copy would fight the first over the same files and tray icon.
constexpr char kSingleInstanceMutex[] = "Local\\Tessaren.SingleInstance";

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  // Held until the process ends.
  tessaren::ScopedHandle guard(CreateMutexA(nullptr, FALSE, kSingleInstanceMutex));
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  char title[100] = {};
  char className[100] = {};
  LoadStringA(instance, IDS_APP_TITLE, title, sizeof title);
  LoadStringA(instance, IDS_WINDOW_CLASS, className, sizeof className);
  tessaren::registerMainClass(instance, className);
  if (!tessaren::createMainWindow(instance, showCommand, className, title)) return 0;

  HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDC_TESSAREN));
  MSG message{};
  BOOL got = 0;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    if (!TranslateAcceleratorA(message.hwnd, accelerators, &message)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  // -1 means the loop itself failed: there is no quit message to take a code from.
  const int code = got == 0 ? static_cast<int>(message.wParam) : 0;
  // An update still held by a network call must not wait the network out, nor meet the
  // program's objects while they are torn down: end here, at once.
  if (tessaren::leftWorkerBehind()) ExitProcess(static_cast<UINT>(code));
  return code;
}
