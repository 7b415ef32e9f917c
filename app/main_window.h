// The hidden main window: its class, its procedure, the tray icon's notifications and the
// menu commands, and the parts of the program that live as long as it does.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "app/picture_saver.h"
#include "app/update_feedback.h"
#include "download/fetch.h"
#include "platform/files.h"
#include "settings/settings_store.h"
#include "tray/tray_icon.h"
#include "update/scheduler.h"
#include "update/thread_runner.h"
#include "update/update_log.h"

namespace tessaren {

// Posted by a worker when a job has ended: its GUI half waits to be delivered.
constexpr UINT kUpdateEndedMessage = WM_APP + 1;
// The tray icon's notifications (version 4: the event in LOWORD(lParam), the point in wParam).
constexpr UINT kTrayNotifyMessage = WM_APP + 2;
// Adds the tray icon again every few seconds while the shell does not take it.
constexpr UINT_PTR kTrayRetryTimerId = 20001;
constexpr UINT kTrayRetryMs = 5000;
// A click on the icon opens the menu once it is clear that no double-click follows.
constexpr UINT_PTR kClickTimerId = 20003;
// A command from another tessaren.exe (its command line), sent as WM_COPYDATA with this
// tag: the UTF-8 text of the option, a line end and the sending process's id, and in
// wParam the window that /status answers to (with kStatusReplyTag), which must be that
// process's; the answer is the exit code.
constexpr ULONG_PTR kCommandTag = 0x54455353;  // "TESS"
constexpr ULONG_PTR kStatusReplyTag = 0x54455352;
// The longest /status waits for the asking window to take its answer.
constexpr UINT kStatusReplyWaitMs = 1000;
// How long Exit waits for the updates it cancelled to say how they ended. A download or a
// conversion stops within a fraction of that; a network call that closing its handle did
// not end (Wine's WinINet) is left to end with the process.
constexpr DWORD kExitWaitMs = 200;

// What the window's parts are made of: the platform's own services, or a test's.
struct AppServices {
  Clock& clock;
  ValueStore& store;
  Files& files;
  std::string defaultFolder;  // the picture folder of the first-run defaults; the log's too
  // The work of one update on its worker; empty: the real update on the platform's
  // services.
  UpdateWork work;
  // The notification area; empty: the shell's.
  std::function<std::unique_ptr<TrayShell>(HWND)> makeTray;
};

// What the window owns. The dialogs get it as their creation parameter.
struct AppParts {
  AppParts(HWND window, HINSTANCE module, AppServices services);

  HWND window;
  AppServices services;
  SettingsStore settings;
  std::unique_ptr<TrayShell> shell;
  TrayIcon tray;
  UpdateLog log;
  std::unique_ptr<TimerApi> timer;
  std::unique_ptr<Conditions> conditions;
  UpdateFeedback feedback;
  CommitGate commits;
  UpdateServices updateServices;
  WorkerThreads workers;
  ThreadRunner runner;
  Scheduler scheduler;
  PictureSaver saver;
};

void registerMainClass(HINSTANCE instance);
// Creates the never-shown main window, adds the tray icon and starts the first update;
// nullptr when no window could be made. The parts live until the window is destroyed,
// except that updates still running then keep them (see leftWorkersBehind).
AppParts* createMainWindow(HINSTANCE instance, AppServices services);
// Updates were still running when the window went: the process must end without waiting
// for them, and without tearing down what they use.
bool leftWorkersBehind();

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Every way out: cancel the updates, wait a moment for them, take the icon away, destroy
// the window.
void exitProgram(HWND window);

// The dialogs tell the window when they open and close, so that there is only ever one.
void dialogOpened(HWND dialog);
void dialogClosed(HWND dialog);

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The window class, which the installer looks for to end a running copy.
inline constexpr char kMainClassName[] = "TESSAREN";

}  // namespace tessaren
