// The program: one object, built in WinMain from the services it needs and reached from
// the hidden main window through GWLP_USERDATA. It owns what exists once (the schedule,
// the tray icon, the log, the workers, Save picture as...); the window procedure calls its
// named methods, and the dialogs see it only through their own narrow interfaces. GUI
// thread only; work runs on the workers, and Exit waits for it only a moment.
#pragma once

#include <windows.h>

#include <chrono>
#include <memory>
#include <string>

#include "app/dialogs.h"
#include "app/picture_saver.h"
#include "app/update_feedback.h"
#include "download/fetch.h"
#include "imaging/desktop_api.h"
#include "platform/files.h"
#include "platform/worker_threads.h"
#include "settings/settings_store.h"
#include "tray/tray_icon.h"
#include "update/conditions.h"
#include "update/history.h"
#include "update/scheduler.h"
#include "update/thread_runner.h"
#include "update/timer_api.h"
#include "update/update_log.h"

namespace tessaren {

// How long Exit waits for the work it cancelled to say how it ended. A download or a
// conversion stops within a fraction of that; a network call that closing its handle did
// not end (Wine's WinINet) is left to end with the process.
constexpr DWORD kExitWaitMs = 200;
// The longest /status waits for the asking window to take its answer.
constexpr UINT kStatusReplyWaitMs = 1000;

// What the program is made of: the platform's services, or a test's.
struct ProgramServices {
  Clock& clock;
  ValueStore& store;
  Files& files;
  Fetcher& fetcher;
  DesktopApi& desktop;
  std::unique_ptr<TimerApi> timer;  // of the main window
  std::unique_ptr<Conditions> conditions;
  std::unique_ptr<TrayShell> shell;  // the notification area, for the main window
  std::string defaultFolder;         // the picture folder of the first-run defaults; the log's
  UpdateWork work{};                 // empty: the real update on the services above
};

class Program final : private AboutView, private PropertiesHost {
 public:
  Program(HINSTANCE module, HWND window, ProgramServices services);
  Program(const Program&) = delete;
  Program& operator=(const Program&) = delete;

  // The icon, and the first update.
  void start();

  // The main window's messages.
  void command(WORD id);
  void timer(UINT_PTR id);
  void trayNotify(WPARAM wParam, LPARAM lParam);
  LRESULT commandLine(HWND replyTo, const COPYDATASTRUCT& data);
  void workEnded() { workers_.deliver(); }
  void wokeUp() { scheduler_.resumed(); }
  void screensChanged();
  void shellRestarted();
  // Every way out: cancel the work, wait for it a moment, take the icon away, destroy the
  // window.
  void exit();
  // WM_DESTROY, whichever way the window went.
  void windowDestroyed();
  // Work still running when the window went: the process must end without waiting for it.
  bool leftWorkersBehind() const { return workers_.running() > 0; }
  UINT taskbarCreatedMessage() const { return taskbarCreated_; }

  // For tests and the soak build.
  const TrayIcon& tray() const { return tray_; }
  std::uint64_t linesLogged() const { return log_.linesWritten(); }

 private:
  // AboutView and PropertiesHost, for the dialogs.
  void dialogShown(HWND dialog) override { openDialog_ = dialog; }
  void dialogGone(HWND dialog) override;
  AboutState aboutState() override;
  std::string logPath() override { return log_.path(); }
  Settings storedSettings() override { return settings_.load(); }
  std::vector<Monitor> connectedMonitors() override { return services_.desktop.monitors(); }
  bool startsWithWindows() override;
  CheckedFields checkedFields(const PropertiesFields& fields, const Settings& loaded) override;
  void saveSettings(const Settings& settings, bool startWithWindows) override;
  void checkAddress(const Settings& settings, std::shared_ptr<CancelToken> cancel,
                    std::function<void(const std::string&)> answer) override;

  // The dialog of templateId with its interface (an AboutView* or PropertiesHost*).
  void showDialog(int templateId, DLGPROC procedure, LPARAM view);
  // byKeyboard: opened by NIN_KEYSELECT; the focus goes back to the tray when it closes.
  void showMenu(POINT at, bool byKeyboard);
  void keepIconShown();
  void waitForWork(std::chrono::milliseconds limit);
  std::string statusText();
  void keepInHistory(const UpdateRequest& request, const UpdateOutcome& outcome);
  std::vector<std::string> historyEntries();
  void step(HistoryStep direction);
  void replyStatus(HWND replyTo, DWORD asker);

  HINSTANCE module_;
  HWND window_;
  ProgramServices services_;
  SettingsStore settings_;
  TrayIcon tray_;
  UpdateLog log_;
  UpdateFeedback feedback_;
  CommitGate commits_;
  UpdateServices updateServices_;
  WorkerThreads workers_;
  ThreadRunner runner_;
  Scheduler scheduler_;
  PictureSaver saver_;
  History history_;
  // Sent to every top-level window when the shell (re)starts: the icon is added again.
  const UINT taskbarCreated_;
  // The one dialog open, and whether the tray menu is being tracked: DialogBoxParam and
  // TrackPopupMenu run message loops that still deliver tray clicks and commands here.
  HWND openDialog_ = nullptr;
  bool menuOpen_ = false;
  POINT clickPoint_{};
  // A double-click was seen and its last NIN_SELECT has not come yet.
  bool endOfDoubleClick_ = false;
  POINT menuPoint_{};  // where the tray menu last opened: its monitor's picture is saved
  bool exiting_ = false;
};

// The hidden main window's class (which the installer looks for to end a running copy) and
// the window itself, never shown (registering the class registers the common controls the
// dialogs use too). attachProgram makes the window's messages the program's.
inline constexpr char kMainClassName[] = "TESSAREN";
void registerMainClass(HINSTANCE module);
HWND createMainWindow(HINSTANCE module);
void attachProgram(HWND window, Program* program);

}  // namespace tessaren
