// The hidden main window: it owns the schedule's timer, receives the tray icon's
// notifications and the worker's messages, and carries the menu commands. It never waits
// for an update: those run on the worker.
#include "app/main_window.h"

#include "app/scoped_win32.h"
#include "download/http_api.h"
#include "res/resource.h"
#include "settings/settings_store.h"
#include "tray/tray_icon.h"
#include "update/update_log.h"

namespace tessaren {
namespace {

HINSTANCE instance = nullptr;
// Sent to every top-level window when the shell (re)starts: our icon must be added again.
UINT taskbarCreatedMessage = 0;
UINT countersMessage = 0;
std::unique_ptr<AppParts> parts;
UpdateJob& updateJob() {
  static UpdateJob job = runUpdate;
  return job;
}
bool workerLeftBehind = false;
// The one dialog open, and whether the tray menu is being tracked: DialogBoxParam and
// TrackPopupMenu run message loops that still deliver tray clicks and commands here.
HWND openDialog = nullptr;
bool menuOpen = false;

WindowHandle handleOf(HWND window) { return reinterpret_cast<WindowHandle>(window); }

void keepIconShown(HWND window) {
  if (trayIcon().wanted() && !trayIcon().shown()) {
    SetTimer(window, kTrayRetryTimerId, kTrayRetryMs, nullptr);
  } else {
    KillTimer(window, kTrayRetryTimerId);
  }
}

void showDialog(HWND window, int templateId, DLGPROC procedure) {
  if (openDialog != nullptr) {
    SetForegroundWindow(openDialog);
    return;
  }
  DialogBoxParamA(instance, MAKEINTRESOURCEA(templateId), window, procedure,
                  reinterpret_cast<LPARAM>(parts.get()));
}

bool drawsForTheScreens() {
  const std::int32_t display = loadSettings().display;
  return display == static_cast<std::int32_t>(DisplayMode::Fit) ||
         display == static_cast<std::int32_t>(DisplayMode::Fill) ||
         display == static_cast<std::int32_t>(DisplayMode::Span);
}

// Cancels the update and lets go of the worker; the icon and the window go with it.
void shutDown() {
  if (!parts) return;
  parts->scheduler.shutdown();
  workerLeftBehind = workerLeftBehind || parts->runner.leftWorkerBehind();
}

}  // namespace

AppParts::AppParts(HWND window, UpdateJob job)
    : feedback(systemClock(), updateLogPath()),
      runner([window](std::uint64_t id) { PostMessageA(window, kUpdateEndedMessage, id, 0); },
             std::move(job)),
      scheduler(systemClock(), timerApi(), runner, feedback) {
  scheduler.setWindow(handleOf(window));
}

HINSTANCE moduleInstance() { return instance; }

void setUpdateJob(UpdateJob job) { updateJob() = job ? std::move(job) : UpdateJob(runUpdate); }

bool leftWorkerBehind() { return workerLeftBehind; }

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
  countersMessage = RegisterWindowMessageA(kCountersMessageName);
  // Never shown: the show command the program was started with is dropped.
  HWND window = CreateWindowExA(0, className, title, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, 0,
                                CW_USEDEFAULT, 0, nullptr, nullptr, module, nullptr);
  if (window == nullptr) return false;
  parts = std::make_unique<AppParts>(window, updateJob());
  workerLeftBehind = false;
  trayIcon().add(IconState::Ready, handleOf(window), kTrayNotifyMessage,
                 reinterpret_cast<ModuleHandle>(module));
  trayIcon().setTip(kTipIdle);
  keepIconShown(window);
  parts->scheduler.startUp();
  return true;
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      // Whichever way the window ends, no update goes on and no dead icon stays behind.
      shutDown();
      trayIcon().remove();
      KillTimer(window, kTrayRetryTimerId);
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 0;
    }
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDM_ABOUT:
        case IDM_TRAY_ABOUT:
          showDialog(window, IDD_ABOUTBOX, aboutDialogProc);
          return 0;
        case IDM_TRAY_RELOAD:
          if (parts) parts->scheduler.reload();
          return 0;
        case IDM_TRAY_PROPERTIES:
          showDialog(window, IDD_PROPERTIES, propertiesDialogProc);
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
      if (wParam == kTrayRetryTimerId) {
        trayIcon().restore();
        keepIconShown(window);
      } else if (parts) {
        parts->scheduler.timerFired();
      }
      return 0;
    case kUpdateEndedMessage:
      if (parts) parts->scheduler.workerDone(static_cast<std::uint64_t>(wParam));
      keepIconShown(window);
      return 0;
    case kTrayNotifyMessage:
      onTrayNotify(wParam, lParam, window);
      return 0;
    case WM_POWERBROADCAST:
      if ((wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND) && parts)
        parts->scheduler.resumed();
      return TRUE;
    case WM_QUERYENDSESSION:
      // Nothing to save and nothing to wait for: Windows may end the session at once.
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) exitFromTray(window);
      return 0;
    case WM_DISPLAYCHANGE:
    case WM_DPICHANGED:
      trayIcon().reloadPictures();
      keepIconShown(window);
      if (parts && drawsForTheScreens()) parts->scheduler.screensChanged();
      return 0;
  }
  if (message == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
    trayIcon().reloadPictures();
    keepIconShown(window);
    return 0;
  }
  if (message == countersMessage && countersMessage != 0) {
    const auto lines = static_cast<std::uint64_t>(parts ? parts->feedback.linesLogged() : 0);
    return static_cast<LRESULT>(static_cast<std::uint64_t>(trayIcon().picturesHeld()) |
                                static_cast<std::uint64_t>(internetHandlesOpen()) << 8 |
                                lines << 32);
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void onTrayNotify(WPARAM, LPARAM lParam, HWND window) {
  if (LOWORD(lParam) != WM_RBUTTONUP || menuOpen) return;
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(window);
  ScopedMenu menu(LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAY_MENU)));
  HMENU popup = GetSubMenu(menu.get(), 0);
  POINT cursor{};
  GetCursorPos(&cursor);
  menuOpen = true;
  TrackPopupMenu(popup, 0, cursor.x, cursor.y, 0, window, nullptr);
  menuOpen = false;
  PostMessageA(window, WM_NULL, 0, 0);
}

void exitFromTray(HWND window) {
  shutDown();
  trayIcon().remove();
  DestroyWindow(window);
}

void dialogOpened(HWND dialog) { openDialog = dialog; }

void dialogClosed(HWND dialog) {
  if (openDialog == dialog) openDialog = nullptr;
}

}  // namespace tessaren
