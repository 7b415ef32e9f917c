// Drives a running tessaren.exe from outside, as a user would: finds its hidden window by
// class name and posts it commands, tray notifications and key presses, then checks what
// appears on screen. One action per run; the exit code says whether the checks held.
//   tessaren_driver ready | count | reload | resume | display-change | answer-time MAX_MS
//   tessaren_driver menu right|key|left|double | about ok|esc|close | about-state TEXT...
//   tessaren_driver properties-show URL TEMP INTERVAL DISPLAY START
//   tessaren_driver properties-save URL TEMP INTERVAL DISPLAY START | properties-enter URL
//   tessaren_driver properties-refuse URL TEMP INTERVAL url|folder|interval|pointer |
//   properties-cancel URL tessaren_driver one-dialog | shell-restart | wallpaper | end
//   tray|close|endsession tessaren_driver counters | reload-loop COUNT | save-picture-open |
//   save-picture-finish PATH tessaren_driver properties-check URL POINTER EXPECTED tessaren_driver
//   open about|properties
// Texts go in and come out as UTF-8, whatever the code page of this program.
#include <windows.h>
// after windows.h, which it needs
#include <commctrl.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/program_ids.h"

namespace {

using namespace tessaren;

// Version 4 notifications: the event in LOWORD(lParam), the icon in HIWORD(lParam), the
// point the menu belongs at in wParam.

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

// Finds a dialog and waits until it is on screen: it exists (hidden) while its controls
// are still being made.
HWND waitForDialog(const char* title, DWORD milliseconds) {
  HWND dialog = waitForWindow("#32770", title, milliseconds);
  for (DWORD waited = 0; dialog != nullptr && !IsWindowVisible(dialog) && waited < milliseconds;
       waited += 50)
    Sleep(50);
  return dialog;
}

std::wstring wide(const std::string& utf8) {
  std::wstring text(utf8.size() + 1, L'\0');
  const int length =
      MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, text.data(), static_cast<int>(text.size()));
  text.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
  return text;
}

std::string utf8(const std::wstring& text) {
  std::string out(text.size() * 4 + 1, '\0');
  const int length = WideCharToMultiByte(CP_UTF8, 0, text.c_str(), -1, out.data(),
                                         static_cast<int>(out.size()), nullptr, nullptr);
  out.resize(length > 0 ? static_cast<std::size_t>(length - 1) : 0);
  return out;
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
  wchar_t buffer[4096] = {};
  SendMessageW(window, WM_GETTEXT, 4096, reinterpret_cast<LPARAM>(buffer));
  return utf8(buffer);
}

void setText(HWND dialog, int id, const std::string& text) {
  SetDlgItemTextW(dialog, id, wide(text).c_str());
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

LPARAM trayEvent(UINT event) { return MAKELPARAM(event, kTrayIconId); }

HWND waitForMenu(DWORD process, int milliseconds) {
  for (int waited = 0; waited < milliseconds; waited += 50) {
    for (HWND candidate : windowsOfClass("#32768", process))
      if (IsWindowVisible(candidate)) return candidate;
    Sleep(50);
  }
  return nullptr;
}

// right: the context-menu key or button, at the cursor; key: Enter on the icon chosen by
// keyboard, at the icon's corner; left: a click, which opens the menu once no
// double-click follows; double: a double-click, which opens the About box.
void menu(const std::string& how) {
  HWND window = mainWindow();
  DWORD process = processOf(window);
  const POINT anchor{200, 150};
  const WPARAM at = MAKEWPARAM(anchor.x, anchor.y);
  if (how == "double") {
    // What the shell sends for a double-click: every button-up is followed by NIN_SELECT,
    // the second one's too, which reaches the program inside About's modal loop.
    for (UINT event : {UINT{WM_LBUTTONDOWN}, UINT{WM_LBUTTONUP}, UINT{NIN_SELECT},
                       UINT{WM_LBUTTONDBLCLK}, UINT{WM_LBUTTONUP}, UINT{NIN_SELECT}})
      PostMessageA(window, kTrayNotifyMessage, at, trayEvent(event));
    HWND box = waitForDialog("About Tessaren ...", 10000);
    check(box != nullptr, "a double-click opens the About box");
    // A menu the last NIN_SELECT started would open one double-click time after it was
    // handled: every message posted is handled, the time passes, and its timer is handled.
    check(settle(window), "the program answers with About open");
    Sleep(GetDoubleClickTime());
    check(settle(window), "and still after the double-click time");
    check(waitForMenu(process, 200) == nullptr, "and no menu opens on top of it");
    if (box != nullptr) PostMessageA(box, WM_COMMAND, IDOK, 0);
    check(box == nullptr || waitGone(box, 10000), "the About box closes");
    check(settle(window), "the program goes on");
    return;
  }
  const UINT event = how == "right" ? WM_CONTEXTMENU : how == "key" ? NIN_KEYSELECT : NIN_SELECT;
  PostMessageA(window, kTrayNotifyMessage, at, trayEvent(event));
  HWND popup = waitForMenu(process, 5000);
  check(popup != nullptr, "the menu opens (" + how + ")");
  if (popup == nullptr) return;
  RECT placed{};
  GetWindowRect(popup, &placed);
  // Aligned by the system's menu drop alignment: its left or right edge at the point.
  const LONG edge = GetSystemMetrics(SM_MENUDROPALIGNMENT) ? placed.right : placed.left;
  check(edge == anchor.x && placed.top == anchor.y, "at the point the shell named (" +
                                                        std::to_string(placed.left) + "," +
                                                        std::to_string(placed.top) + ")");
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
  PostMessageA(window, WM_COMMAND, IDM_TRAY_ABOUT, 0);
  HWND box = waitForDialog("About Tessaren ...", 10000);
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
  PostMessageA(window, WM_COMMAND, IDM_TRAY_PROPERTIES, 0);
  HWND dialog = waitForDialog("Tessaren Properties", 10000);
  check(dialog != nullptr, "the Properties dialog opens");
  return dialog;
}

void propertiesShow(char** field) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  check(textOf(GetDlgItem(dialog, IDC_PROPERTIES_URL)) == field[0],
        std::string("URL shows ") + field[0]);
  check(textOf(GetDlgItem(dialog, IDC_PROPERTIES_FOLDER)) == field[1],
        std::string("folder shows ") + field[1]);
  check(textOf(GetDlgItem(dialog, IDC_PROPERTIES_INTERVAL)) == field[2],
        std::string("interval shows ") + field[2]);
  HWND list = GetDlgItem(dialog, IDC_PROPERTIES_DISPLAY);
  check(SendMessageA(list, CB_GETCOUNT, 0, 0) == 7, "the display list has seven entries");
  check(SendMessageA(list, CB_GETCURSEL, 0, 0) == std::atoi(field[3]),
        std::string("display selection is ") + field[3]);
  const bool startChecked = IsDlgButtonChecked(dialog, IDC_PROPERTIES_STARTUP) == BST_CHECKED;
  check(startChecked == (std::strcmp(field[4], "on") == 0),
        std::string("Start with Windows shows ") + field[4]);
  // A number box: typing takes digits only (a pasted word is still refused by Save), and
  // its arrows stay within the intervals Save accepts.
  check(hasStyle(GetDlgItem(dialog, IDC_PROPERTIES_INTERVAL), WS_TABSTOP | ES_NUMBER),
        "the interval box takes digits");
  HWND arrows = GetDlgItem(dialog, IDC_PROPERTIES_INTERVAL_SPIN);
  // UDM_GETRANGE, not its 32-bit form, whose pointers do not cross processes: 44640 still
  // fits its unsigned 16 bits.
  const auto range = static_cast<DWORD>(SendMessageA(arrows, UDM_GETRANGE, 0, 0));
  check(arrows != nullptr &&
            reinterpret_cast<HWND>(SendMessageA(arrows, UDM_GETBUDDY, 0, 0)) ==
                GetDlgItem(dialog, IDC_PROPERTIES_INTERVAL) &&
            HIWORD(range) == 1 && LOWORD(range) == 44640,
        "the interval's arrows go from 1 to 44640");
  check(hasStyle(list, CBS_DROPDOWNLIST | WS_TABSTOP) && !hasStyle(list, CBS_SORT),
        "the display list is an unsorted drop-down list");
  // Escape cancels, as in every Windows dialog.
  PostMessageA(GetDlgItem(dialog, IDC_PROPERTIES_URL), WM_KEYDOWN, VK_ESCAPE, 0);
  check(waitGone(dialog, 10000), "Escape ends it");
  check(settle(window), "the program goes on");
}

void fillProperties(HWND dialog, char** field) {
  setText(dialog, IDC_PROPERTIES_URL, field[0]);
  setText(dialog, IDC_PROPERTIES_FOLDER, field[1]);
  setText(dialog, IDC_PROPERTIES_INTERVAL, field[2]);
  SendDlgItemMessageA(dialog, IDC_PROPERTIES_DISPLAY, CB_SETCURSEL, std::atoi(field[3]), 0);
  CheckDlgButton(dialog, IDC_PROPERTIES_STARTUP,
                 std::strcmp(field[4], "on") == 0 ? BST_CHECKED : BST_UNCHECKED);
}

void propertiesSave(char** field) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  fillProperties(dialog, field);
  PostMessageA(GetDlgItem(dialog, IDC_PROPERTIES_SAVE), BM_CLICK, 0, 0);
  check(waitGone(dialog, 10000), "Save ends the dialog");
  check(settle(window), "the program goes on");
}

// Enter in a field saves, as the default button would.
void propertiesEnter(const char* url) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  setText(dialog, IDC_PROPERTIES_URL, url);
  HWND edit = GetDlgItem(dialog, IDC_PROPERTIES_URL);
  PostMessageA(dialog, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(edit), TRUE);
  PostMessageA(edit, WM_KEYDOWN, VK_RETURN, 0);
  check(waitGone(dialog, 10000), "Enter saves and ends the dialog");
  check(settle(window), "the program goes on");
}

// The control of dialog that has the focus, once it is expected or 10 s have passed.
int focusedControl(HWND dialog, int expected) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  for (DWORD waited = 0; waited <= 10000; waited += 50) {
    GetGUIThreadInfo(GetWindowThreadProcessId(dialog, nullptr), &info);
    if (GetDlgCtrlID(info.hwndFocus) == expected) break;
    Sleep(50);
  }
  return GetDlgCtrlID(info.hwndFocus);
}

// A field that can't work keeps the dialog open: a message names the problem, then the
// field has the focus. Escape leaves without saving.
void propertiesRefuse(char** field) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  const int first = focusedControl(dialog, IDC_PROPERTIES_SAVE);
  check(first == IDC_PROPERTIES_SAVE,
        "Save has the focus when Properties opens (is " + std::to_string(first) + ")");
  char* all[] = {field[0], field[1], field[2], const_cast<char*>("1"), const_cast<char*>("off")};
  fillProperties(dialog, all);
  PostMessageA(GetDlgItem(dialog, IDC_PROPERTIES_SAVE), BM_CLICK, 0, 0);
  HWND message = waitForDialog("Tessaren", 10000);
  check(message != nullptr, "a message names the problem");
  if (message == nullptr) return;
  std::string said;
  for (HWND child = GetWindow(message, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
    char name[32] = {};
    GetClassNameA(child, name, sizeof name);
    if (std::strcmp(name, "Static") == 0) said += textOf(child);
  }
  std::printf("message: %s\n", said.c_str());
  PostMessageA(message, WM_COMMAND, IDOK, 0);
  check(waitGone(message, 10000), "the message closes");
  check(IsWindow(dialog) && IsWindowVisible(dialog), "the dialog stays open");
  // Once the message is gone the program puts the focus on the field: wait for it.
  const std::string name = field[3];
  const int expected = name == "url"        ? IDC_PROPERTIES_URL
                       : name == "folder"   ? IDC_PROPERTIES_FOLDER
                       : name == "interval" ? IDC_PROPERTIES_INTERVAL
                                            : IDC_PROPERTIES_POINTER;
  const int focused = focusedControl(dialog, expected);
  check(focused == expected, "the focus is on field " + std::to_string(expected) + " (is " +
                                 std::to_string(focused) + ")");
  PostMessageA(GetDlgItem(dialog, expected), WM_KEYDOWN, VK_ESCAPE, 0);
  check(waitGone(dialog, 10000), "Escape ends it without saving");
  check(settle(window), "the program goes on");
}

// Waits until a menu of the process is shown (or, shown false, until none is).
bool waitForMenu(DWORD process, bool shown) {
  for (DWORD waited = 0; waited <= 10000; waited += 50) {
    bool any = false;
    for (HWND popup : windowsOfClass("#32768", process)) any = any || IsWindowVisible(popup);
    if (any == shown) return true;
    Sleep(50);
  }
  return false;
}

// One dialog at a time: asking again, or for the other one, brings the open one forward.
void oneDialog() {
  HWND window = mainWindow();
  const DWORD process = processOf(window);
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  PostMessageA(window, WM_COMMAND, IDM_TRAY_PROPERTIES, 0);
  PostMessageA(window, WM_COMMAND, IDM_TRAY_ABOUT, 0);
  PostMessageA(window, kTrayNotifyMessage, MAKEWPARAM(200, 150), trayEvent(WM_CONTEXTMENU));
  // The menu opens over the dialog; it is closed before anything else is asked of the
  // program, so that no step after this one meets a menu still being tracked.
  check(waitForMenu(process, true), "the menu opens over the dialog");
  for (HWND popup : windowsOfClass("#32768", process))
    if (IsWindowVisible(popup)) PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
  check(waitForMenu(process, false), "Escape closes the menu");
  check(settle(window), "the program goes on");
  int dialogs = 0;
  for (HWND candidate : windowsOfClass("#32770", process)) dialogs += IsWindowVisible(candidate);
  check(dialogs == 1, "one dialog open (" + std::to_string(dialogs) + ")");
  check(FindWindowA("#32770", "About Tessaren ...") == nullptr, "no About box over Properties");
  PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0);
  check(waitGone(dialog, 10000), "the close box ends it");
  check(settle(window), "the program goes on");
}

void propertiesCancel(const char* url) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  setText(dialog, IDC_PROPERTIES_URL, url);
  PostMessageA(GetDlgItem(dialog, IDC_PROPERTIES_CANCEL), BM_CLICK, 0, 0);
  check(waitGone(dialog, 10000), "Cancel ends the dialog");
  check(settle(window), "the program goes on");
}

// Ends the program by the tray menu's Exit, the end of the session or a WM_CLOSE, and checks that
// no icon is left. Wine's shell also drops the icons of a window that is gone, so this checks the
// end state; main_window_wine_test checks that the program itself removes its icon on each of these
// ways.
void end(const std::string& how) {
  HWND window = mainWindow();
  check(iconKnown(window), "the tray icon is shown before the end");
  if (how == "tray") {
    PostMessageA(window, WM_COMMAND, IDM_TRAY_EXIT, 0);
  } else if (how == "endsession") {
    DWORD_PTR answer = 0;
    SendMessageTimeoutA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_NORMAL, 5000,
                        &answer);
    check(answer == TRUE, "the session may end");
    PostMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
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

// The About box's state lines, printed; each argument must appear in them.
void aboutState(char** expected, int count) {
  HWND window = mainWindow();
  PostMessageA(window, WM_COMMAND, IDM_TRAY_ABOUT, 0);
  HWND box = waitForDialog("About Tessaren ...", 10000);
  check(box != nullptr, "the About box opens");
  if (box == nullptr) return;
  std::string lines;
  for (int id :
       {IDC_ABOUT_LAST_UPDATE, IDC_ABOUT_PICTURE, IDC_ABOUT_LAST_FAILURE, IDC_ABOUT_NEXT_UPDATE}) {
    const std::string line = textOf(GetDlgItem(box, id));
    std::printf("about: %s\n", line.c_str());
    lines += line + "\n";
  }
  check(textOf(GetDlgItem(box, IDC_ABOUT_OPEN_LOG)) == "Open log", "it has the Open log button");
  for (int i = 0; i < count; ++i)
    check(lines.find(expected[i]) != std::string::npos, std::string("it says ") + expected[i]);
  PostMessageA(box, WM_COMMAND, IDOK, 0);
  check(waitGone(box, 10000), "the About box ends");
}

// Properties' Check with the given address and "Picture at": prints what it found, or
// why not, once it has answered; the dialog answers meanwhile and is then cancelled.
void propertiesCheck(const char* url, const char* pointer, const char* expected) {
  HWND window = mainWindow();
  HWND dialog = openProperties(window);
  if (dialog == nullptr) return;
  setText(dialog, IDC_PROPERTIES_URL, url);
  setText(dialog, IDC_PROPERTIES_POINTER, pointer);
  PostMessageA(GetDlgItem(dialog, IDC_PROPERTIES_CHECK), BM_CLICK, 0, 0);
  std::string answer;
  for (int waited = 0; waited < 20000; waited += 50) {
    answer = textOf(GetDlgItem(dialog, IDC_PROPERTIES_CHECK_RESULT));
    if (!answer.empty() && answer != "Checking...") break;
    Sleep(50);
  }
  std::printf("check: %s\n", answer.c_str());
  check(answer.find(expected) != std::string::npos, std::string("Check says ") + expected);
  check(settle(dialog), "the dialog answers");
  PostMessageA(GetDlgItem(dialog, IDC_PROPERTIES_CANCEL), BM_CLICK, 0, 0);
  check(waitGone(dialog, 10000), "Cancel ends the dialog");
}

// How long a message sent from outside waits for an answer, while whatever runs runs.
void answerTime(int maximum) {
  HWND window = mainWindow();
  LARGE_INTEGER frequency, start, end;
  QueryPerformanceFrequency(&frequency);
  double worst = 0;
  for (int i = 0; i < 10; ++i) {
    DWORD_PTR result = 0;
    QueryPerformanceCounter(&start);
    const bool answered =
        SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0;
    QueryPerformanceCounter(&end);
    const double ms = 1000.0 * static_cast<double>(end.QuadPart - start.QuadPart) /
                      static_cast<double>(frequency.QuadPart);
    worst = answered ? std::max(worst, ms) : 5000;
    Sleep(50);
  }
  std::printf("answer: %.1f ms at worst of 10\n", worst);
  check(worst <= maximum, "answers within " + std::to_string(maximum) + " ms");
}

struct Counters {
  int icons = -1;
  int internetHandles = -1;
  long long logLines = -1;
};

// The program's own counts, asked with its registered message.
Counters counters(HWND window) {
  DWORD_PTR packed = 0;
  Counters result;
  if (SendMessageTimeoutA(window, RegisterWindowMessageA("Tessaren.Counters"), 0, 0, SMTO_NORMAL,
                          5000, &packed) != 0) {
    const auto bits = static_cast<unsigned long long>(packed);
    result.icons = static_cast<int>(bits & 0xFF);
    result.internetHandles = static_cast<int>((bits >> 8) & 0xFFFF);
    result.logLines = static_cast<long long>(bits >> 32);
  }
  return result;
}

// Reload, then wait for the update's log line, count times over.
void reloadLoop(int count) {
  HWND window = mainWindow();
  long long lines = counters(window).logLines;
  for (int i = 1; i <= count; ++i) {
    DWORD_PTR result = 0;
    SendMessageTimeoutA(window, WM_COMMAND, IDM_TRAY_RELOAD, 0, SMTO_NORMAL, 5000, &result);
    bool ended = false;
    for (int waited = 0; waited < 60000 && !ended; waited += 10) {
      ended = counters(window).logLines > lines;
      if (!ended) Sleep(10);
    }
    if (!ended) {
      check(false, "update " + std::to_string(i) + " ended");
      return;
    }
    ++lines;
    if (i % 100 == 0) std::printf("%d updates\n", i);
  }
  check(true, std::to_string(count) + " updates ended");
}

// "Save picture as...": prints the name the dialog suggests, saves under path (a Windows
// path) and waits for the file.
// The file name field of the Save dialog: a combo box on Windows (cmb13), an edit under
// Wine (edt1).
HWND fileNameField(HWND dialog) {
  HWND name = GetDlgItem(dialog, 1148);
  if (name == nullptr) name = GetDlgItem(dialog, 1152);
  check(name != nullptr, "it has a file name field");
  return name;
}

// Opens Save picture as... and leaves it open, saying the name it suggests.
void savePictureOpen() {
  PostMessageA(mainWindow(), WM_COMMAND, IDM_TRAY_SAVE_PICTURE, 0);
  HWND dialog = waitForDialog("Save picture as", 10000);
  check(dialog != nullptr, "the Save dialog opens");
  if (dialog == nullptr) return;
  if (HWND name = fileNameField(dialog)) std::printf("suggested: %s\n", textOf(name).c_str());
}

// Saves as path in the Save dialog that is open.
void savePictureFinish(const std::string& path) {
  HWND window = mainWindow();
  HWND dialog = waitForDialog("Save picture as", 10000);
  check(dialog != nullptr, "the Save dialog is open");
  if (dialog == nullptr) return;
  HWND name = fileNameField(dialog);
  if (name == nullptr) return;
  SetWindowTextW(name, wide(path).c_str());
  PostMessageA(dialog, WM_COMMAND, IDOK, 0);
  check(waitGone(dialog, 10000), "Save ends the dialog");
  bool saved = false;
  for (int waited = 0; waited < 10000 && !saved; waited += 50) {
    saved = GetFileAttributesW(wide(path).c_str()) != INVALID_FILE_ATTRIBUTES;
    if (!saved) Sleep(50);
  }
  check(saved, "the picture was saved");
  check(settle(window), "the program goes on");
}

// The wallpaper the desktop uses, as UTF-8.
void wallpaper() {
  HKEY key = nullptr;
  wchar_t value[1024] = {};
  DWORD size = sizeof value;
  if (RegOpenKeyExW(HKEY_CURRENT_USER, L"Control Panel\\Desktop", 0, KEY_READ, &key) == 0) {
    RegQueryValueExW(key, L"Wallpaper", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
  }
  std::printf("%s\n", utf8(value).c_str());
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
    HWND window = mainWindow();
    DWORD_PTR result = 0;
    check(SendMessageTimeoutA(window, WM_COMMAND, IDM_TRAY_RELOAD, 0, SMTO_NORMAL, 5000, &result) !=
              0,
          "Reload handled");
  } else if (action == "display-change") {
    HWND window = mainWindow();
    DWORD_PTR result = 0;
    check(SendMessageTimeoutA(window, WM_DISPLAYCHANGE, 32, MAKELPARAM(1024, 768), SMTO_NORMAL,
                              5000, &result) != 0,
          "display change handled");
  } else if (action == "resume") {
    HWND window = mainWindow();
    DWORD_PTR result = 0;
    check(SendMessageTimeoutA(window, WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 0, SMTO_NORMAL,
                              5000, &result) != 0,
          "resume handled");
  } else if (action == "answer-time" && extra == 1) {
    answerTime(std::atoi(argv[2]));
  } else if (action == "about-state") {
    aboutState(argv + 2, extra);
  } else if (action == "wallpaper") {
    wallpaper();
  } else if (action == "properties-check" && extra == 3) {
    propertiesCheck(argv[2], argv[3], argv[4]);
  } else if (action == "save-picture-open") {
    savePictureOpen();
  } else if (action == "save-picture-finish" && extra == 1) {
    savePictureFinish(argv[2]);
  } else if (action == "counters") {
    const Counters now = counters(mainWindow());
    std::printf("icons %d internet-handles %d log-lines %lld\n", now.icons, now.internetHandles,
                now.logLines);
  } else if (action == "reload-loop" && extra == 1) {
    reloadLoop(std::atoi(argv[2]));
  } else if (action == "one-dialog") {
    oneDialog();
  } else if (action == "properties-enter" && extra == 1) {
    propertiesEnter(argv[2]);
  } else if (action == "properties-refuse" && extra == 4) {
    propertiesRefuse(argv + 2);
  } else if (action == "menu" && extra == 1) {
    menu(argv[2]);
  } else if (action == "about" && extra == 1) {
    about(argv[2]);
  } else if (action == "properties-show" && extra == 5) {
    propertiesShow(argv + 2);
  } else if (action == "properties-save" && extra == 5) {
    propertiesSave(argv + 2);
  } else if (action == "properties-cancel" && extra == 1) {
    propertiesCancel(argv[2]);
  } else if (action == "end" && extra == 1) {
    end(argv[2]);
  } else if (action == "open" && (extra == 1 || extra == 2)) {
    // Leaves a dialog open, for screenshots: "about" or "properties", with Properties'
    // Monitor choice at the entry given (0: All monitors).
    const bool about = std::strcmp(argv[2], "about") == 0;
    PostMessageA(mainWindow(), WM_COMMAND, about ? IDM_TRAY_ABOUT : IDM_TRAY_PROPERTIES, 0);
    HWND dialog = waitForDialog(about ? "About Tessaren ..." : "Tessaren Properties", 10000);
    check(dialog != nullptr, std::string(argv[2]) + " opens");
    if (dialog != nullptr && extra == 2) {
      SendDlgItemMessageA(dialog, IDC_PROPERTIES_MONITOR, CB_SETCURSEL, std::atoi(argv[3]), 0);
      SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(IDC_PROPERTIES_MONITOR, CBN_SELCHANGE),
                   reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDC_PROPERTIES_MONITOR)));
    }
  } else if (action == "shell-restart") {
    shellRestart();

  } else {
    std::printf("usage: tessaren_driver ACTION [ARGUMENTS]\n");
    return 2;
  }
  return failures == 0 ? 0 : 1;
}
