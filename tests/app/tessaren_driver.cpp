// Drives a running tessaren.exe from outside, as a user would: finds its hidden window by
// class name and posts it commands, tray notifications and key presses, then checks what
// appears on screen. One action per run; the exit code says whether the checks held.
//   tessaren_driver ready | count | reload | menu right|left | about ok|esc|close
//   tessaren_driver properties-show URL TEMP INTERVAL DISPLAY | properties-save URL TEMP
//   INTERVAL DISPLAY | properties-cancel URL | shell-restart
//   end tray|command|close | open about|properties
#include <windows.h>
// after windows.h, which it needs
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr UINT kTrayNotifyMessage = WM_USER + 10;
constexpr UINT kTrayIconId = 25077;

int failures = 0;

void check(bool condition, const std::string& what) {
  std::printf("%s: %s\n", condition ? "ok" : "FAILED", what.c_str());
  if (!condition) ++failures;
}

HWND waitForWindow(const char* className, const char* title, DWORD milliseconds) {
  for (DWORD waited = 0;; waited += 50) {
    HWND window = FindWindowA(className, title);
    if (window != nullptr) return window;
    if (waited >= milliseconds) return nullptr;
    Sleep(50);
  }
}

bool waitGone(HWND window, DWORD milliseconds) {
  for (DWORD waited = 0; waited < milliseconds; waited += 50) {
    if (!IsWindow(window)) return true;
    Sleep(50);
  }
  return !IsWindow(window);
}

// Returns once the program's thread has handled everything posted before: a message sent
// to it is handled only when its message loop runs again.
// A message sent overtakes the posted ones still queued, so it takes two round trips:
// the second is handled only after whatever the first let through.
bool settle(HWND window, UINT milliseconds = 60000) {
  DWORD_PTR result = 0;
  for (int round = 0; round < 2; ++round) {
    if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, milliseconds, &result) == 0) {
      return false;
    }
    Sleep(200);
  }
  return true;
}

HWND mainWindow() {
  HWND window = waitForWindow("TESSAREN", nullptr, 20000);
  if (window == nullptr) {
    std::printf("FAILED: no window of class TESSAREN\n");
    std::exit(1);
  }
  return window;
}

struct WindowSearch {
  DWORD process;
  const char* className;
  std::vector<HWND> found;
};

BOOL CALLBACK collect(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  char name[64] = {};
  GetClassNameA(window, name, sizeof name);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (std::strcmp(name, search->className) == 0 &&
      (search->process == 0 || process == search->process)) {
    search->found.push_back(window);
  }
  return TRUE;
}

std::vector<HWND> windowsOfClass(const char* className, DWORD process) {
  WindowSearch search{process, className, {}};
  EnumWindows(collect, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

DWORD processOf(HWND window) {
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  return process;
}

std::string textOf(HWND window) {
  char buffer[512] = {};
  SendMessageA(window, WM_GETTEXT, sizeof buffer, reinterpret_cast<LPARAM>(buffer));
  return buffer;
}

bool hasStyle(HWND window, LONG style) {
  return (GetWindowLongA(window, GWL_STYLE) & style) == style;
}

// The tray probe: a modification with no flags changes nothing, and the shell accepts it
// only for an icon it knows.
bool iconKnown(HWND owner) {
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = owner;
  data.uID = kTrayIconId;
  data.uFlags = 0;
  return Shell_NotifyIconA(NIM_MODIFY, &data) != FALSE;
}

void ready() {
  HWND window = mainWindow();
  check(settle(window), "the message loop runs");
  check(!IsWindowVisible(window), "the main window is hidden");
  check(windowsOfClass("TESSAREN", 0).size() == 1, "one TESSAREN window");
  check(iconKnown(window), "the tray icon is shown");
}

void menu(bool right) {
  HWND window = mainWindow();
  DWORD process = processOf(window);
  PostMessageA(window, kTrayNotifyMessage, kTrayIconId, right ? WM_RBUTTONUP : WM_LBUTTONUP);
  HWND popup = nullptr;
  for (int waited = 0; waited < (right ? 5000 : 1500) && popup == nullptr; waited += 50) {
    for (HWND candidate : windowsOfClass("#32768", process)) {
      if (IsWindowVisible(candidate)) popup = candidate;
    }
    if (popup == nullptr) Sleep(50);
  }
  if (!right) {
    check(popup == nullptr, "a left click opens no menu");
    check(settle(window), "the program goes on");
    return;
  }
  check(popup != nullptr, "a right-button release opens the menu");
  if (popup == nullptr) return;
  // Escape closes a menu: its loop takes keys from the program's own queue.
  PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
  bool closed = false;
  for (int waited = 0; waited < 5000 && !closed; waited += 50) {
    closed = !IsWindow(popup) || !IsWindowVisible(popup);
    if (!closed) Sleep(50);
  }
  check(closed, "Escape closes the menu");
  check(settle(window), "the program goes on after the menu");
}

void about(const std::string& how) {
  HWND window = mainWindow();
  PostMessageA(window, WM_COMMAND, how == "close" ? 32771 : 104, 0);
  HWND box = waitForWindow("#32770", "About Tessaren ...", 10000);
  check(box != nullptr, "the About box opens");
  if (box == nullptr) return;
  HWND ok = GetDlgItem(box, IDOK);
  check(ok != nullptr && textOf(ok) == "OK", "it has the OK button");
  if (how == "ok") {
    PostMessageA(ok, BM_CLICK, 0, 0);
  } else if (how == "esc") {
    PostMessageA(ok, WM_KEYDOWN, VK_ESCAPE, 0);
  } else {
    PostMessageA(box, WM_SYSCOMMAND, SC_CLOSE, 0);
  }
  check(waitGone(box, 10000), "the About box ends on " + how);
  check(settle(window), "the program goes on");
}

HWND openProperties(HWND window) {
  PostMessageA(window, WM_COMMAND, 32773, 0);
  HWND dialog = waitForWindow("#32770", "Tessaren Properties", 10000);
  check(dialog != nullptr, "the Properties dialog opens");
  return dialog;
}

void propertiesShow(char** field) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  check(textOf(GetDlgItem(dialog, 1003)) == field[0], std::string("URL shows ") + field[0]);
  check(textOf(GetDlgItem(dialog, 1004)) == field[1], std::string("directory shows ") + field[1]);
  check(textOf(GetDlgItem(dialog, 1005)) == field[2], std::string("interval shows ") + field[2]);
  HWND list = GetDlgItem(dialog, 1006);
  check(SendMessageA(list, CB_GETCOUNT, 0, 0) == 4, "the display list has four entries");
  check(SendMessageA(list, CB_GETCURSEL, 0, 0) == std::atoi(field[3]),
        std::string("display selection is ") + field[3]);
  check(hasStyle(GetDlgItem(dialog, 1000), WS_TABSTOP) &&
            !hasStyle(GetDlgItem(dialog, 1000), BS_DEFPUSHBUTTON),
        "Save is a plain push button");
  // The dialog manager may trade WS_BORDER and WS_VSCROLL for other bits; these stay.
  check(hasStyle(GetDlgItem(dialog, 1005), WS_TABSTOP | ES_AUTOHSCROLL) &&
            !hasStyle(GetDlgItem(dialog, 1005), ES_NUMBER),
        "the interval box takes any text");
  check(hasStyle(list, CBS_DROPDOWNLIST | WS_TABSTOP) && !hasStyle(list, CBS_SORT),
        "the display list is an unsorted drop-down list");
  // Enter and Escape are not the dialog's business: it stays open.
  HWND edit = GetDlgItem(dialog, 1003);
  PostMessageA(edit, WM_KEYDOWN, VK_ESCAPE, 0);
  PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  Sleep(700);
  check(IsWindow(dialog) && IsWindowVisible(dialog), "Enter and Escape leave it open");
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  check(waitGone(dialog, 10000), "the close box ends it");
  check(settle(window), "the program goes on");
}

void propertiesSave(char** field) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  SetDlgItemTextA(dialog, 1003, field[0]);
  SetDlgItemTextA(dialog, 1004, field[1]);
  SetDlgItemTextA(dialog, 1005, field[2]);
  SendDlgItemMessageA(dialog, 1006, CB_SETCURSEL, std::atoi(field[3]), 0);
  PostMessageA(GetDlgItem(dialog, 1000), BM_CLICK, 0, 0);
  check(waitGone(dialog, 60000), "Save ends the dialog");
  check(settle(window), "the program goes on");
}

void propertiesCancel(const char* url) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  SetDlgItemTextA(dialog, 1003, url);
  PostMessageA(GetDlgItem(dialog, 1002), BM_CLICK, 0, 0);
  check(waitGone(dialog, 10000), "Cancel ends the dialog");
  check(settle(window), "the program goes on");
}

// Ends the program by the tray menu's Exit, the main menu's Exit (command 105) or a
// WM_CLOSE, and checks that no icon is left. Wine's shell also drops the icons of a window
// that is gone, so this checks the end state; main_window_wine_test checks that the
// program itself removes its icon on each of these ways.
void end(const std::string& how) {
  HWND window = mainWindow();
  check(iconKnown(window), "the tray icon is shown before the end");
  if (how == "tray") {
    PostMessageA(window, WM_COMMAND, 32774, 0);
  } else if (how == "command") {
    PostMessageA(window, WM_COMMAND, 105, 0);
  } else {
    PostMessageA(window, WM_CLOSE, 0, 0);
  }
  check(waitGone(window, 20000), "the program ends by " + how);
  check(!iconKnown(window), "no icon is left behind");
}

// The shell restarted and forgot every icon: "TaskbarCreated" must bring ours back.
void shellRestart() {
  HWND window = mainWindow();
  NOTIFYICONDATAA data{};
  data.cbSize = NOTIFYICONDATAA_V1_SIZE;
  data.hWnd = window;
  data.uID = kTrayIconId;
  Shell_NotifyIconA(NIM_DELETE, &data);
  check(!iconKnown(window), "the shell has forgotten the icon");
  PostMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  check(settle(window), "the program goes on");
  check(iconKnown(window), "the icon is back after TaskbarCreated");
}

}  // namespace

int main(int argc, char** argv) {
  setvbuf(stdout, nullptr, _IONBF, 0);
  const std::string action = argc > 1 ? argv[1] : "";
  const int extra = argc - 2;
  if (action == "ready") {
    ready();
  } else if (action == "count") {
    std::printf("%zu\n", windowsOfClass("TESSAREN", 0).size());
  } else if (action == "reload") {
    // Sent rather than posted: it returns once the whole refresh cycle has run.
    HWND window = mainWindow();
    DWORD_PTR result = 0;
    check(SendMessageTimeoutA(window, WM_COMMAND, 32772, 0, SMTO_NORMAL, 60000, &result) != 0,
          "Reload handled");
  } else if (action == "menu" && extra == 1) {
    menu(std::strcmp(argv[2], "right") == 0);
  } else if (action == "about" && extra == 1) {
    about(argv[2]);
  } else if (action == "properties-show" && extra == 4) {
    propertiesShow(argv + 2);
  } else if (action == "properties-save" && extra == 4) {
    propertiesSave(argv + 2);
  } else if (action == "properties-cancel" && extra == 1) {
    propertiesCancel(argv[2]);
  } else if (action == "end" && extra == 1) {
    end(argv[2]);
  } else if (action == "open" && extra == 1) {
    // Leaves a dialog open, for screenshots: "about" or "properties".
    const bool about = std::strcmp(argv[2], "about") == 0;
    PostMessageA(mainWindow(), WM_COMMAND, about ? 104 : 32773, 0);
    check(waitForWindow("#32770", about ? "About Tessaren ..." : "Tessaren Properties", 10000) !=
              nullptr,
          std::string(argv[2]) + " opens");
  } else if (action == "shell-restart") {
    shellRestart();

  } else {
    std::printf("usage: tessaren_driver ACTION [ARGUMENTS]\n");
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
