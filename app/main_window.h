// The hidden main window: its class, its procedure, the tray notification and the
// commands, and the parts of the program that live as long as it does.
#pragma once

#include <windows.h>

#include <memory>

#include "app/update_feedback.h"
#include "update/scheduler.h"
#include "update/thread_runner.h"

namespace tessaren {

// Posted by the worker when an update has ended; wParam is its id.
constexpr UINT kUpdateEndedMessage = WM_APP + 1;
// Answered with the program's own counts, for the soak: the tray pictures held (bits 0-7),
// internet handles open (8-23) and log lines written (32-63).
constexpr char kCountersMessageName[] = "Tessaren.Counters";
// Adds the tray icon again every few seconds while the shell does not take it.
constexpr UINT_PTR kTrayRetryTimerId = 20001;
constexpr UINT kTrayRetryMs = 5000;

// What the window owns. The dialogs get it as their creation parameter.
struct AppParts {
  explicit AppParts(HWND window, UpdateJob job);

  UpdateFeedback feedback;
  ThreadRunner runner;
  Scheduler scheduler;
};

// Module instance stored by createMainWindow, for icons, menus and dialogs.
HINSTANCE moduleInstance();

// The work one update does on the worker thread; tests put their own in place before
// the window is created. An empty job restores the real one.
void setUpdateJob(UpdateJob job);
// Whether the window's worker had to be left behind at exit (the process must then end
// without waiting for it).
bool leftWorkerBehind();

void registerMainClass(HINSTANCE instance, const char* className);
// Creates the never-shown main window, adds the tray icon and starts the first update;
// false when no window could be created.
bool createMainWindow(HINSTANCE instance, int showCommand, const char* className,
                      const char* title);

LRESULT CALLBACK mainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
void onTrayNotify(WPARAM wParam, LPARAM lParam, HWND window);
// Every way out: cancel the update, take the icon away, destroy the window.
void exitFromTray(HWND window);

// The dialogs tell the window when they open and close, so that there is only ever one.
void dialogOpened(HWND dialog);
void dialogClosed(HWND dialog);

INT_PTR CALLBACK aboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK propertiesDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace tessaren
