// The hidden main window: its class, and its procedure, which hands each message to the
// program's method for it. The window is never shown; it is a top-level window all the
// same, since message-only windows hear no broadcasts (TaskbarCreated, power, display and
// session changes).
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>

#include "app/program.h"
#include "app/program_ids.h"
#include "platform/object_names.h"
#include "platform/soak_counters.h"

namespace tessaren {
namespace {

Program* programOf(HWND window) {
  return reinterpret_cast<Program*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

#ifdef TESSAREN_SOAK_COUNTERS
// The soak's question: tray pictures held (bits 0-7), internet handles open (8-23) and log
// lines written (32-63). Only in the soak build.
bool answerSoak(const Program& program, UINT message, LRESULT& answer) {
  static const UINT countersMessage = RegisterWindowMessageA(kCountersMessage);
  if (message != countersMessage) return false;
  answer = static_cast<LRESULT>(static_cast<std::uint64_t>(soak::trayPictures.load()) |
                                static_cast<std::uint64_t>(soak::internetHandles.load()) << 8 |
                                program.linesLogged() << 32);
  return true;
}
#endif

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Program* program = programOf(window);
  if (program == nullptr) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_DESTROY:
      program->windowDestroyed();
      SetWindowLongPtrA(window, GWLP_USERDATA, 0);
      return 0;
    case WM_COMMAND:
      program->command(LOWORD(wParam));
      return 0;
    case WM_COPYDATA:
      return program->commandLine(reinterpret_cast<HWND>(wParam),
                                  *reinterpret_cast<const COPYDATASTRUCT*>(lParam));
    case WM_TIMER:
      program->timer(wParam);
      return 0;
    case kWorkEndedMessage:
      program->workEnded();
      return 0;
    case kTrayNotifyMessage:
      program->trayNotify(wParam, lParam);
      return 0;
    case WM_POWERBROADCAST:
      if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) program->wokeUp();
      return TRUE;
    case WM_CLOSE:  // the installer's way to end a running copy: the same as Exit
      program->exit();
      return 0;
    case WM_QUERYENDSESSION:  // nothing to save and nothing to wait for
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) program->exit();
      return 0;
    case WM_DISPLAYCHANGE:
    case WM_DPICHANGED:
      program->screensChanged();
      return 0;
  }
  if (message == program->taskbarCreatedMessage() && message != 0) {
    program->shellRestarted();
    return 0;
  }
#ifdef TESSAREN_SOAK_COUNTERS
  if (LRESULT answer = 0; answerSoak(*program, message, answer)) return answer;
#endif
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

void registerMainClass(HINSTANCE module) {
  // The common controls' classes the dialogs use (Properties' up-down) are registered by
  // comctl32 only when asked.
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_UPDOWN_CLASS | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = mainWindowProc;
  windowClass.hInstance = module;
  windowClass.hIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_TESSAREN));
  windowClass.lpszClassName = kMainWindowClass;
  windowClass.hIconSm = LoadIconA(module, MAKEINTRESOURCEA(IDI_SMALL));
  RegisterClassExA(&windowClass);
}

HWND createMainWindow(HINSTANCE module) {
  return CreateWindowExA(0, kMainWindowClass, "Tessaren", WS_OVERLAPPED, CW_USEDEFAULT, 0,
                         CW_USEDEFAULT, 0, nullptr, nullptr, module, nullptr);
}

void attachProgram(HWND window, Program* program) {
  SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(program));
}

}  // namespace tessaren
