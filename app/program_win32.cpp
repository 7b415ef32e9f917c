// The program's methods: what each menu command, timer, tray notification and command
// line does, the dialogs' interfaces, and the way out.
#include <windowsx.h>

#include "app/command_line.h"
#include "app/explorer.h"
#include "app/program.h"
#include "app/program_ids.h"
#include "platform/own_path.h"
#include "platform/window_handles.h"
#include "settings/startup.h"
#include "update/monitor_sources.h"

namespace tessaren {
namespace {

// Adds the tray icon again this often while the shell does not take it.
constexpr UINT kTrayRetryMs = 5000;

// Pause or Resume: the one that applies now.
void keepPauseOrResume(HMENU popup, bool paused) {
  if (paused) {
    for (int at = GetMenuItemCount(popup) - 1; at >= 0; --at)
      if (GetSubMenu(popup, at) != nullptr) DeleteMenu(popup, static_cast<UINT>(at), MF_BYPOSITION);
  } else {
    DeleteMenu(popup, IDM_TRAY_RESUME, MF_BYCOMMAND);
  }
}

// The menu as it is now: About in bold (a double-click's command), the resume time on
// "Until tomorrow", and Pause or Resume, the one that applies.
void prepareMenu(HMENU popup, bool paused, std::time_t now) {
  SetMenuDefaultItem(popup, IDM_TRAY_ABOUT, FALSE);
  const std::string label = pauseUntilMorningLabel(now);
  ModifyMenuA(popup, IDM_TRAY_PAUSE_MORNING, MF_BYCOMMAND | MF_STRING, IDM_TRAY_PAUSE_MORNING,
              label.c_str());
  keepPauseOrResume(popup, paused);
}

}  // namespace

Program::Program(HINSTANCE module, HWND window, ProgramServices services)
    : module_(module),
      window_(window),
      services_(std::move(services)),
      settings_(services_.store, services_.defaultFolder),
      tray_(*services_.shell),
      log_(services_.defaultFolder + kLogFileName),
      feedback_(services_.clock, tray_, log_),
      updateServices_{services_.fetcher, services_.files, services_.desktop, services_.store,
                      commits_},
      workers_([window] { PostMessageA(window, kWorkEndedMessage, 0, 0); }),
      runner_(
          workers_,
          [this](std::uint64_t id) {
            scheduler_.workerDone(id);
            keepIconShown();
          },
          services_.work
              ? services_.work
              : [this](
                    const UpdateRequest& request,
                    CancelToken& cancel) { return runUpdate(request, updateServices_, cancel); }),
      scheduler_(services_.clock, *services_.timer, runner_, feedback_, settings_,
                 *services_.conditions),
      saver_(window, services_.files, commits_, workers_, services_.store),
      history_(services_.files),
      taskbarCreated_(RegisterWindowMessageA("TaskbarCreated")) {
  scheduler_.onNewPictures([this](const UpdateRequest& request, const UpdateOutcome& outcome) {
    keepInHistory(request, outcome);
  });
}

void Program::start() {
  tray_.add(IconState::Ready, kTipIdle);
  keepIconShown();
  scheduler_.startUp();
}

void Program::command(WORD id) {
  switch (id) {
    case IDM_TRAY_ABOUT:
      return showDialog(IDD_ABOUTBOX, aboutDialogProc,
                        reinterpret_cast<LPARAM>(static_cast<AboutView*>(this)));
    case IDM_TRAY_RELOAD:
      return scheduler_.reload();
    case IDM_TRAY_PROPERTIES:
      return showDialog(IDD_PROPERTIES, propertiesDialogProc,
                        reinterpret_cast<LPARAM>(static_cast<PropertiesHost*>(this)));
    case IDM_TRAY_EXIT:
      return exit();
    case IDM_TRAY_OPEN_FOLDER: {
      // With the wallpaper BMP selected: of its two names, the one on the desktop.
      const std::string folder = settings_.load().folder;
      return showInExplorer(window_, folder,
                            shownBitmapName(folder, services_.desktop.wallpaper()));
    }
    case IDM_TRAY_SAVE_PICTURE: {
      // The picture of the monitor the menu was opened on.
      const Settings settings = settings_.load();
      const std::string picture =
          pictureFileAt(settings, services_.desktop.monitors(), menuPoint_.x, menuPoint_.y);
      return saver_.start(settings.folder, picture, services_.clock.wallNow());
    }
    case IDM_TRAY_PAUSE_HOUR:
      return scheduler_.pause(services_.clock.wallNow() + 3600);
    case IDM_TRAY_PAUSE_MORNING:
      return scheduler_.pause(nextMorning(services_.clock.wallNow()));
    case IDM_TRAY_PAUSE_FOREVER:
      return scheduler_.pause(kPausedUntilResumed);
    case IDM_TRAY_RESUME:
      return scheduler_.resumeUpdates();
    case IDM_TRAY_PREVIOUS:
      return step(HistoryStep::Previous);
    case IDM_TRAY_NEXT:
      return step(HistoryStep::Next);
  }
}

void Program::timer(UINT_PTR id) {
  if (id == kTrayRetryTimerId) {
    tray_.restore();
    keepIconShown();
  } else if (id == kClickTimerId) {
    KillTimer(window_, kClickTimerId);
    showMenu(clickPoint_, false);
  } else {
    scheduler_.timerFired(id);
  }
}

// Version 4 notifications: the event in LOWORD(lParam), the point the menu belongs at in
// wParam (the cursor for the mouse, the icon's corner for the keyboard).
void Program::trayNotify(WPARAM wParam, LPARAM lParam) {
  const POINT at{GET_X_LPARAM(wParam), GET_Y_LPARAM(wParam)};
  switch (LOWORD(lParam)) {
    case WM_CONTEXTMENU:
      endOfDoubleClick_ = false;
      showMenu(at, false);
      break;
    case NIN_KEYSELECT:
      endOfDoubleClick_ = false;
      showMenu(at, true);
      break;
    case WM_LBUTTONDOWN:
      // A new click: whatever came before it has ended.
      endOfDoubleClick_ = false;
      break;
    case NIN_SELECT:
      // The shell sends NIN_SELECT after every left-button-up, the second one of a
      // double-click too: that one is no click of its own.
      if (endOfDoubleClick_) {
        endOfDoubleClick_ = false;
        break;
      }
      // A click opens the menu once it is clear that no double-click follows.
      clickPoint_ = at;
      SetTimer(window_, kClickTimerId, GetDoubleClickTime(), nullptr);
      break;
    case WM_LBUTTONDBLCLK:
      KillTimer(window_, kClickTimerId);
      // Before About, whose modal loop the rest of the double-click reaches.
      endOfDoubleClick_ = true;
      command(IDM_TRAY_ABOUT);
      break;
  }
}

void Program::showMenu(POINT at, bool byKeyboard) {
  if (menuOpen_) return;
  // Without the foreground the menu would not close when the user clicks elsewhere.
  SetForegroundWindow(window_);
  const OwnedMenu menu(LoadMenuA(module_, MAKEINTRESOURCEA(IDR_TRAY_MENU)));
  HMENU popup = GetSubMenu(menu.get(), 0);
  prepareMenu(popup, scheduler_.pausedUntil().has_value(), services_.clock.wallNow());
  const std::vector<std::string> entries = historyEntries();
  const std::string shown = entryNameOf(scheduler_.shownKept());
  for (const auto& [item, step] : {std::pair{IDM_TRAY_PREVIOUS, HistoryStep::Previous},
                                   std::pair{IDM_TRAY_NEXT, HistoryStep::Next}})
    if (!stepFrom(entries, shown, step)) EnableMenuItem(popup, item, MF_BYCOMMAND | MF_GRAYED);
  const UINT align = GetSystemMetrics(SM_MENUDROPALIGNMENT) != 0 ? TPM_RIGHTALIGN : TPM_LEFTALIGN;
  menuOpen_ = true;
  menuPoint_ = at;
  TrackPopupMenu(popup, align | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
  menuOpen_ = false;
  PostMessageA(window_, WM_NULL, 0, 0);
  // The keyboard user goes on from the notification area, not from wherever focus fell.
  if (byKeyboard) tray_.returnFocus();
}

void Program::showDialog(int templateId, DLGPROC procedure, LPARAM view) {
  if (openDialog_ != nullptr) {
    SetForegroundWindow(openDialog_);
    return;
  }
  DialogBoxParamA(module_, MAKEINTRESOURCEA(templateId), window_, procedure, view);
}

void Program::dialogGone(HWND dialog) {
  if (openDialog_ == dialog) openDialog_ = nullptr;
}

void Program::keepIconShown() {
  if (tray_.wanted() && !tray_.complete()) {
    SetTimer(window_, kTrayRetryTimerId, kTrayRetryMs, nullptr);
  } else {
    KillTimer(window_, kTrayRetryTimerId);
  }
}

void Program::screensChanged() {
  tray_.reloadPictures();
  keepIconShown();
  // Drawn for the monitors: in a mode that is, or because a monitor has its own picture.
  const Settings settings = settings_.load();
  if (drawnForTheMonitors(settings.display) || !settings.monitorSources.empty())
    scheduler_.screensChanged();
}

void Program::shellRestarted() {
  tray_.reloadPictures();
  tray_.restore();
  keepIconShown();
}

// What another tessaren.exe asked for (commandMessage). The answer is its exit code.
LRESULT Program::commandLine(HWND replyTo, const COPYDATASTRUCT& data) {
  if (data.dwData != kCommandTag || data.lpData == nullptr) return kExitUsage;
  const CommandMessage message =
      parseCommandMessage({static_cast<const char*>(data.lpData), data.cbData});
  const CommandLine line = parseCommandLine(message.option);
  const std::time_t now = services_.clock.wallNow();
  switch (line.command) {
    case Command::Start:
      return kExitOk;
    case Command::Reload:
      scheduler_.reload();
      return kExitOk;
    case Command::Pause:
      scheduler_.pause(line.minutes ? now + *line.minutes * 60 : kPausedUntilResumed);
      return kExitOk;
    case Command::Resume:
      scheduler_.resumeUpdates();
      return kExitOk;
    case Command::Exit:
      // Not inside the sender's call: it is answered first, then the program ends.
      PostMessageA(window_, WM_COMMAND, IDM_TRAY_EXIT, 0);
      return kExitOk;
    case Command::Status:
      replyStatus(replyTo, message);
      return feedback_.lastFailed() ? kExitLastUpdateFailed : kExitOk;
    case Command::Previous:
      step(HistoryStep::Previous);
      return kExitOk;
    case Command::Next:
      step(HistoryStep::Next);
      return kExitOk;
    case Command::Uninstall:
    case Command::Unknown:
      break;
  }
  return kExitUsage;
}

std::string Program::statusText() {
  return feedback_.statusText(scheduler_.nextUpdate(), scheduler_.running(),
                              scheduler_.pausedUntil());
}

// /status's answer, with the asker's token, to the window the asking process gave, and
// only when that window is its own. Sent, not posted (the answer must arrive before the
// asker's call returns), but never waited on for more than a moment: a window that does
// not answer holds nothing up.
void Program::replyStatus(HWND replyTo, const CommandMessage& message) {
  DWORD owner = 0;
  if (replyTo == nullptr || message.asker == 0 || GetWindowThreadProcessId(replyTo, &owner) == 0 ||
      owner != message.asker)
    return;
  const std::string text = statusReplyMessage(message.token, statusText());
  COPYDATASTRUCT reply{kStatusReplyTag, static_cast<DWORD>(text.size()),
                       const_cast<char*>(text.data())};
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(replyTo, WM_COPYDATA, reinterpret_cast<WPARAM>(window_),
                      reinterpret_cast<LPARAM>(&reply), SMTO_ABORTIFHUNG | SMTO_BLOCK,
                      kStatusReplyWaitMs, &ignored);
}

AboutState Program::aboutState() {
  const std::time_t now = services_.clock.wallNow();
  return {
      lastUpdateLine(feedback_.lastSuccess(), now), pictureLine(feedback_.lastSuccess()),
      lastFailureLine(feedback_.lastFailure(), now),
      nextUpdateLine(scheduler_.nextUpdate(), scheduler_.running(), scheduler_.pausedUntil(), now)};
}

bool Program::startsWithWindows() { return tessaren::startsWithWindows(services_.store); }

CheckedFields Program::checkedFields(const PropertiesFields& fields, const Settings& loaded) {
  return checkFields(fields, loaded, services_.files, services_.clock.wallNow());
}

void Program::saveSettings(const Settings& settings, bool startWithWindows) {
  settings_.save(settings);
  setStartWithWindows(services_.store, startWithWindows, ownExecutablePath());
  scheduler_.settingsSaved();
}

void Program::checkAddress(const Settings& settings, std::shared_ptr<CancelToken> cancel,
                           std::function<void(const std::string&)> answer) {
  UpdateRequest request;
  request.id = scheduler_.newId();
  request.settings = settings;
  request.checkOnly = true;
  request.startedAt = services_.clock.wallNow();
  workers_.post([this, request, cancel, answer]() -> WorkerThreads::GuiHalf {
    const std::string text = checkResultText(runUpdate(request, updateServices_, *cancel));
    return [cancel, answer, text] {
      if (!cancel->stopped()) answer(text);
    };
  });
}

// The commit step's last part, on the GUI thread once the new pictures are on the desktop:
// they are kept in the history. A failure costs the history one entry, never the update.
void Program::keepInHistory(const UpdateRequest& request, const UpdateOutcome& outcome) {
  const Settings settings = settings_.load();
  const HistoryLimits limits{settings.historyPictures,
                             std::uint64_t{settings.historyMegabytes} << 20};
  const std::string& folder = request.settings.folder;
  std::optional<Failure> problem;
  {
    // While another commit runs, or after a newer one, the picture folder holds newer
    // pictures than these: that commit's own outcome keeps them.
    const std::unique_lock<std::mutex> committing = commits_.tryEnter();
    if (!committing.owns_lock() || commits_.last() != outcome.commit) return;
    problem = history_.add(folder, history_.pictureSet(folder), request.startedAt, limits,
                           entryNameOf(scheduler_.shownKept()));
  }
  if (problem)
    log_.append(logLineOf(services_.clock.wallNow(), "note", "",
                          "not kept in the history: " + problem->detail));
}

// The history's entries in the picture folder of the settings, oldest first.
std::vector<std::string> Program::historyEntries() {
  std::vector<std::string> names;
  for (const HistoryEntry& entry : history_.entries(settings_.load().folder))
    names.push_back(entry.name);
  return names;
}

// Previous and Next: the entry is drawn through the scheduler, one drawing or update at a
// time, like every other; onto the newest, the updates resume.
void Program::step(HistoryStep direction) {
  const std::optional<StepTarget> target =
      stepFrom(historyEntries(), entryNameOf(scheduler_.shownKept()), direction);
  if (!target) return;
  if (target->newest) return scheduler_.resumeUpdates();
  scheduler_.showKept(entryFolder(settings_.load().folder, target->name));
}

void Program::exit() {
  if (exiting_) return;
  exiting_ = true;
  scheduler_.shutdown();
  saver_.cancel();
  waitForWork(std::chrono::milliseconds(kExitWaitMs));
  scheduler_.stopWaiting();
  log_.flush(std::chrono::milliseconds(kExitWaitMs));
  tray_.remove();
  DestroyWindow(window_);
}

// Dispatches messages until every cancelled update and every job has said how it ended,
// or until the time is up.
void Program::waitForWork(std::chrono::milliseconds limit) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(limit.count());
  while (scheduler_.waitingForWorkers() || workers_.pending() > 0) {
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

void Program::windowDestroyed() {
  // Whichever way the window ends, no work goes on and no dead icon stays behind.
  scheduler_.shutdown();
  saver_.cancel();
  tray_.remove();
  KillTimer(window_, kTrayRetryTimerId);
  KillTimer(window_, kClickTimerId);
  PostQuitMessage(0);
}

}  // namespace tessaren
