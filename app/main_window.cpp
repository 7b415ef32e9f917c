// The hidden main window: it owns the schedule's timers, receives the tray icon's
// notifications and the workers' messages, and carries the menu commands. It never waits
// for an update: those run on workers, and Exit waits for them only a moment, pumping
// messages all the while.
#include "app/main_window.h"

#include <shlobj.h>
#include <windowsx.h>

#include <charconv>

#include "app/command_line.h"
#include "platform/handles.h"
#include "platform/soak_counters.h"
#include "platform/wide_text.h"
#include "res/resource.h"

namespace tessaren {
namespace {

HINSTANCE instance = nullptr;
// Sent to every top-level window when the shell (re)starts: our icon must be added again.
UINT taskbarCreatedMessage = 0;
std::unique_ptr<AppParts> parts;
bool workersLeftBehind = false;
bool exiting = false;
// The one dialog open, and whether the tray menu is being tracked: DialogBoxParam and
// TrackPopupMenu run message loops that still deliver tray clicks and commands here.
HWND openDialog = nullptr;
bool menuOpen = false;
POINT clickPoint{};

void keepIconShown(HWND window) {
  if (parts && parts->tray.wanted() && !parts->tray.shown()) {
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

// Pause or Resume: the one that applies now.
void keepPauseOrResume(HMENU popup, bool paused) {
  if (paused) {
    for (int at = GetMenuItemCount(popup) - 1; at >= 0; --at)
      if (GetSubMenu(popup, at) != nullptr) DeleteMenu(popup, static_cast<UINT>(at), MF_BYPOSITION);
  } else {
    DeleteMenu(popup, IDM_TRAY_RESUME, MF_BYCOMMAND);
  }
}

// At the cursor for the mouse, at the icon's corner for the keyboard: the shell puts the
// right point into every version 4 notification.
void showMenu(HWND window, POINT at) {
  if (menuOpen) return;
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(window);
  const OwnedMenu menu(LoadMenuA(instance, MAKEINTRESOURCEA(IDR_TRAY_MENU)));
  HMENU popup = GetSubMenu(menu.get(), 0);
  keepPauseOrResume(popup, parts->scheduler.pausedUntil().has_value());
  const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
  menuOpen = true;
  TrackPopupMenu(popup, align | TPM_RIGHTBUTTON, at.x, at.y, 0, window, nullptr);
  menuOpen = false;
  PostMessageA(window, WM_NULL, 0, 0);
}

void onTrayNotify(HWND window, WPARAM wParam, LPARAM lParam) {
  const POINT at{GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
  switch (LOWORD(lParam)) {
    case WM_CONTEXTMENU:
    case NIN_KEYSELECT:
      showMenu(window, at);
      break;
    case NIN_SELECT:
      clickPoint = at;
      SetTimer(window, kClickTimerId, GetDoubleClickTime(), nullptr);
      break;
    case WM_LBUTTONDBLCLK:
      KillTimer(window, kClickTimerId);
      showDialog(window, IDD_ABOUTBOX, aboutDialogProc);
      break;
  }
}

// Dispatches messages until the scheduler has heard from every update it cancelled, or
// until the time is up.
void waitForWorkers(DWORD milliseconds) {
  const ULONGLONG end = GetTickCount64() + milliseconds;
  while (parts && (parts->scheduler.waitingForWorkers() || parts->workers.pending() > 0)) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) break;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        PostQuitMessage(static_cast<int>(message.wParam));
        return;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
}

// Explorer with tessaren.bmp selected in the picture folder.
void openPictureFolder(HWND window) {
  const std::string folder = parts->settings.load().folder;
  const std::string bitmap = folder + "tessaren.bmp";
  const bool hasBitmap = GetFileAttributesA(bitmap.c_str()) != INVALID_FILE_ATTRIBUTES;
  PIDLIST_ABSOLUTE item = nullptr;
  if (hasBitmap &&
      SUCCEEDED(SHParseDisplayName(wideText(bitmap).c_str(), nullptr, &item, 0, nullptr))) {
    const HRESULT shown = SHOpenFolderAndSelectItems(item, 0, nullptr, 0);
    CoTaskMemFree(item);
    if (SUCCEEDED(shown)) return;
  }
  // Where the shell cannot select (Wine), Explorer itself still can.
  const std::string arguments = hasBitmap ? "/select,\"" + bitmap + "\"" : "\"" + folder + "\"";
  if (reinterpret_cast<INT_PTR>(ShellExecuteA(window, "open", "explorer.exe", arguments.c_str(),
                                              nullptr, SW_SHOWNORMAL)) <= 32) {
    const std::string text = "The folder " + folder + " could not be opened.";
    MessageBoxA(window, text.c_str(), "Tessaren", MB_OK | MB_ICONWARNING);
  }
}

// The tip's two lines and the next update, as /status prints them.
std::string statusText() {
  const std::time_t now = parts->services.clock.wallNow();
  return parts->tray.tip() + "\n" +
         nextUpdateLine(parts->scheduler.nextUpdate(), parts->scheduler.running(),
                        parts->scheduler.pausedUntil(), now) +
         "\n";
}

// /status's answer, to the window the asking process gave, and only when that window is
// its own. Sent, not posted (the answer must arrive before the asker's call returns), but
// never waited on for more than a moment: a window that does not answer holds nothing up.
void replyStatus(HWND window, HWND replyTo, DWORD asker) {
  DWORD owner = 0;
  if (replyTo == nullptr || asker == 0 || GetWindowThreadProcessId(replyTo, &owner) == 0 ||
      owner != asker)
    return;
  const std::string text = statusText();
  COPYDATASTRUCT reply{kStatusReplyTag, static_cast<DWORD>(text.size()),
                       const_cast<char*>(text.data())};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(replyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(window),
                      reinterpret_cast<LPARAM>(&reply), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                      kStatusReplyWaitMs, &ignored);
}

// What another tessaren.exe asked for; the answer is its exit code.
LRESULT runCommand(HWND window, const COPYDATASTRUCT& data, HWND replyTo) {
  if (data.dwData != kCommandTag || data.lpData == nullptr) return kExitUsage;
  // The option, a line end and the asking process's id.
  std::string_view text(static_cast<const char*>(data.lpData), data.cbData);
  DWORD asker = 0;
  if (const std::size_t newline = text.find('\n'); newline != std::string_view::npos) {
    const std::string_view id = text.substr(newline + 1);
    std::from_chars(id.data(), id.data() + id.size(), asker);
    text = text.substr(0, newline);
  }
  const CommandLine command = parseCommandLine(text);
  const std::time_t now = parts->services.clock.wallNow();
  switch (command.command) {
    case Command::Start:
      return kExitOk;
    case Command::Reload:
      parts->scheduler.reload();
      return kExitOk;
    case Command::Pause:
      parts->scheduler.pause(command.minutes ? now + *command.minutes * 60 : kPausedUntilResumed);
      return kExitOk;
    case Command::Resume:
      parts->scheduler.resumeUpdates();
      return kExitOk;
    case Command::Exit:
      // Not inside the sender's call: it is answered first, then the program ends.
      PostMessageA(window, WM_COMMAND, IDM_TRAY_EXIT, 0);
      return kExitOk;
    case Command::Status:
      replyStatus(window, replyTo, asker);
      return parts->feedback.lastFailed() ? kExitLastUpdateFailed : kExitOk;
    case Command::Uninstall:
    case Command::Unknown:
      break;
  }
  return kExitUsage;
}

UpdateWork realUpdate(UpdateServices& services) {
  return [&services](const UpdateRequest& request, CancelToken& cancel) {
    return runUpdate(request, services, cancel);
  };
}

}  // namespace

AppParts::AppParts(HWND window, HINSTANCE module, AppServices given)
    : window(window),
      services(std::move(given)),
      settings(services.store, services.defaultFolder),
      shell(services.makeTray ? services.makeTray(window)
                              : makeShellTray(window, kTrayNotifyMessage, module)),
      tray(*shell),
      log(services.defaultFolder + "tessaren.log"),
      timer(makeWindowTimer(window)),
      conditions(makeSystemConditions()),
      feedback(services.clock, tray, log),
      updateServices{platformFetcher(), services.files, platformDesktop(), services.store, commits},
      workers([window] { PostMessageA(window, kUpdateEndedMessage, 0, 0); }),
      runner(
          workers,
          [this](std::uint64_t id) {
            scheduler.workerDone(id);
            keepIconShown(this->window);
          },
          services.work ? services.work : realUpdate(updateServices)),
      scheduler(services.clock, *timer, runner, feedback, settings, *conditions),
      saver(window, services.files, commits, workers) {}

bool leftWorkersBehind() { return workersLeftBehind; }

void registerMainClass(HINSTANCE module) {
  WNDCLASSEXA windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = mainWindowProc;
  windowClass.hInstance = module;
  windowClass.hIcon = LoadIconA(module, MAKEINTRESOURCEA(IDI_TESSAREN));
  windowClass.lpszClassName = kMainClassName;
  windowClass.hIconSm = LoadIconA(module, MAKEINTRESOURCEA(IDI_SMALL));
  RegisterClassExA(&windowClass);
}

AppParts* createMainWindow(HINSTANCE module, AppServices services) {
  instance = module;
  taskbarCreatedMessage = RegisterWindowMessageA("TaskbarCreated");
  // Never shown; a top-level window all the same, since message-only windows hear no
  // broadcasts (TaskbarCreated, power, display and session changes).
  HWND window = CreateWindowExA(0, kMainClassName, "Tessaren", WS_OVERLAPPED, CW_USEDEFAULT, 0,
                                CW_USEDEFAULT, 0, nullptr, nullptr, module, nullptr);
  if (window == nullptr) return nullptr;
  parts = std::make_unique<AppParts>(window, module, std::move(services));
  workersLeftBehind = false;
  exiting = false;
  parts->tray.add(IconState::Ready, kTipIdle);
  keepIconShown(window);
  parts->scheduler.startUp();
  return parts.get();
}

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (!parts || parts->window != window) return DefWindowProcA(window, message, wParam, lParam);
  switch (message) {
    case WM_DESTROY:
      // Whichever way the window ends, no update goes on and no dead icon stays behind.
      parts->scheduler.shutdown();
      parts->saver.cancel();
      parts->tray.remove();
      for (UINT_PTR id : {kTrayRetryTimerId, kClickTimerId}) KillTimer(window, id);
      PostQuitMessage(0);
      if (parts->workers.running() > 0) {
        // Its workers still use the parts: they go with the process, never before.
        workersLeftBehind = true;
        static_cast<void>(parts.release());
      } else {
        parts.reset();
      }
      return 0;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDM_TRAY_ABOUT:
          showDialog(window, IDD_ABOUTBOX, aboutDialogProc);
          return 0;
        case IDM_TRAY_RELOAD:
          parts->scheduler.reload();
          return 0;
        case IDM_TRAY_PROPERTIES:
          showDialog(window, IDD_PROPERTIES, propertiesDialogProc);
          return 0;
        case IDM_TRAY_EXIT:
          exitProgram(window);
          return 0;
        case IDM_TRAY_OPEN_FOLDER:
          openPictureFolder(window);
          return 0;
        case IDM_TRAY_SAVE_PICTURE:
          parts->saver.start(parts->settings.load().folder, parts->scheduler.newId(),
                             parts->services.clock.wallNow());
          return 0;
        case IDM_TRAY_PAUSE_HOUR:
          parts->scheduler.pause(parts->services.clock.wallNow() + 3600);
          return 0;
        case IDM_TRAY_PAUSE_MORNING:
          parts->scheduler.pause(nextMorning(parts->services.clock.wallNow()));
          return 0;
        case IDM_TRAY_PAUSE_FOREVER:
          parts->scheduler.pause(kPausedUntilResumed);
          return 0;
        case IDM_TRAY_RESUME:
          parts->scheduler.resumeUpdates();
          return 0;
      }
      break;
    case WM_COPYDATA:
      return runCommand(window, *reinterpret_cast<const COPYDATASTRUCT*>(lParam),
                        reinterpret_cast<HWND>(wParam));
    case WM_TIMER:
      if (wParam == kTrayRetryTimerId) {
        parts->tray.restore();
        keepIconShown(window);
      } else if (wParam == kClickTimerId) {
        KillTimer(window, kClickTimerId);
        showMenu(window, clickPoint);
      } else {
        parts->scheduler.timerFired(wParam);
      }
      return 0;
    case kUpdateEndedMessage:
      parts->workers.deliver();
      return 0;
    case kTrayNotifyMessage:
      onTrayNotify(window, wParam, lParam);
      return 0;
    case WM_POWERBROADCAST:
      if (wParam == PBT_APMRESUMEAUTOMATIC || wParam == PBT_APMRESUMESUSPEND)
        parts->scheduler.resumed();
      return TRUE;
    case WM_CLOSE:
      // The installer's way to end a running copy: the same as Exit.
      exitProgram(window);
      return 0;
    case WM_QUERYENDSESSION:
      // Nothing to save and nothing to wait for: Windows may end the session at once.
      return TRUE;
    case WM_ENDSESSION:
      if (wParam) exitProgram(window);
      return 0;
    case WM_DISPLAYCHANGE:
    case WM_DPICHANGED:
      parts->tray.reloadPictures();
      keepIconShown(window);
      if (drawnForTheMonitors(parts->settings.load().display)) parts->scheduler.screensChanged();
      return 0;
  }
#ifdef TESSAREN_SOAK_COUNTERS
  // The soak's question: tray pictures held (bits 0-7), internet handles open (8-23) and
  // log lines written (32-63).
  static const UINT countersMessage = RegisterWindowMessageA("Tessaren.Counters");
  if (message == countersMessage) {
    return static_cast<LRESULT>(static_cast<std::uint64_t>(soak::trayPictures.load()) |
                                static_cast<std::uint64_t>(soak::internetHandles.load()) << 8 |
                                parts->log.linesWritten() << 32);
  }
#endif
  if (message == taskbarCreatedMessage && taskbarCreatedMessage != 0) {
    parts->tray.reloadPictures();
    parts->tray.restore();
    keepIconShown(window);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void exitProgram(HWND window) {
  if (!parts || exiting) return;
  exiting = true;
  parts->scheduler.shutdown();
  parts->saver.cancel();
  waitForWorkers(kExitWaitMs);
  if (!parts) return;  // the window went while we waited
  parts->scheduler.stopWaiting();
  parts->log.flush(std::chrono::milliseconds(kExitWaitMs));
  parts->tray.remove();
  DestroyWindow(window);
}

void dialogOpened(HWND dialog) { openDialog = dialog; }

void dialogClosed(HWND dialog) {
  if (openDialog == dialog) openDialog = nullptr;
}

}  // namespace tessaren
