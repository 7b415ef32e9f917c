// The main window procedure under Wine, with the notification area, the settings and the
// update's work replaced by doubles: the window answers while an update waits, which
// messages start an update, and that every way out cancels the update, waits for it only
// a moment, and takes the icon away; the tray menu as shown, Save picture as... and Open log.
#include <windows.h>
// after windows.h, which they need
#include <commdlg.h>
#include <gtest/gtest.h>
#include <shlobj.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/explorer.h"
#include "app/program.h"
#include "app/update_feedback.h"
#include "platform/program_ids.h"
#include "platform/wide_text.h"
#include "tests/support/fake_tray.h"
#include "tests/support/memory_store.h"

namespace tessaren {
namespace {

using Clock = std::chrono::steady_clock;

// The update's work on the worker thread: counts, and waits while the gate is closed,
// like a download from a silent server.
struct Work {
  std::atomic<int> started{0};
  std::atomic<bool> gateOpen{true};
  std::atomic<bool> sawCancel{false};
  OutcomeKind kind = OutcomeKind::Updated;

  UpdateOutcome operator()(const UpdateRequest&, CancelToken& cancel) {
    ++started;
    while (!gateOpen && !cancel.stopped()) Sleep(5);
    sawCancel = cancel.stopped();
    UpdateOutcome outcome;
    outcome.kind = cancel.stopped() ? OutcomeKind::Failed : kind;
    if (outcome.kind == OutcomeKind::Failed)
      outcome.failure = cancel.stopped() ? cancelledFailure()
                                         : Failure{FailureKind::HttpStatus, "HTTP 404 Not Found"};
    return outcome;
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    writeValue(store, ValueId::Install, 2u);
    writeValue(store, ValueId::Interval, 7u);
    static bool registered = false;
    if (!registered) registerMainClass(GetModuleHandleA(nullptr));
    registered = true;
    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    shell = test::FakeShell();
    program.reset();
    window = createMainWindow(GetModuleHandleA(nullptr));
    ASSERT_NE(window, nullptr);
    program = std::make_unique<Program>(
        GetModuleHandleA(nullptr), window,
        ProgramServices{systemClock(), store, platformFiles(), platformFetcher(), platformDesktop(),
                        makeWindowTimer(window), makeSystemConditions(),
                        std::make_unique<test::ForwardingShell>(shell), temp,
                        [this](const UpdateRequest& request, CancelToken& cancel) {
                          return work(request, cancel);
                        }});
    attachProgram(window, program.get());
    program->start();
  }
  void TearDown() override {
    work.gateOpen = true;
    if (IsWindow(window)) DestroyWindow(window);
    pump(100);
    program.reset();
  }
  // Dispatches messages as the message loop would, for a while or until a quit message.
  bool pump(int milliseconds) {
    const auto end = Clock::now() + std::chrono::milliseconds(milliseconds);
    MSG message;
    while (Clock::now() < end) {
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) return true;
        DispatchMessageA(&message);
      }
      Sleep(5);
    }
    return false;
  }
  // Pumps until the update in flight has ended and been shown.
  void finishUpdates() {
    for (int i = 0; i < 200 && (program->tray().state() == IconState::Loading || work.started == 0);
         ++i)
      pump(10);
  }

  test::MemoryStore store;
  test::FakeShell shell;
  Work work;
  std::unique_ptr<Program> program;
  HWND window = nullptr;
};

TEST_F(MainWindowTest, StartsHiddenWithTheIconAndTheFirstUpdateOnTheWorker) {
  EXPECT_FALSE(IsWindowVisible(window));
  ASSERT_GE(shell.shown.size(), 2u);
  EXPECT_EQ(shell.shown[0], "ready \"Tessaren\"");
  EXPECT_EQ(shell.shown[1], "loading \"Tessaren\"") << "loading while the first update runs";
  finishUpdates();
  EXPECT_EQ(work.started, 1);
  EXPECT_EQ(program->tray().state(), IconState::Ready);
  EXPECT_EQ(program->tray().tip().rfind("Tessaren\nupdated ", 0), 0u) << program->tray().tip();
}

// While the worker waits on a silent server the window answers at once, Reload starts
// nothing more, and the timer, resume and menu messages are handled as usual.
TEST_F(MainWindowTest, AnswersAtOnceWhileAnUpdateWaits) {
  finishUpdates();
  work.gateOpen = false;
  SendMessageA(window, WM_COMMAND, IDM_TRAY_RELOAD, 0);
  pump(50);
  ASSERT_EQ(work.started, 2);

  std::atomic<long long> answerMs{-1};
  std::thread asker([&] {
    const auto start = Clock::now();
    DWORD_PTR result = 0;
    if (SendMessageTimeoutA(window, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &result) != 0)
      answerMs =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
  });
  pump(300);
  asker.join();
  std::printf("  answered in %lld ms while the update waited\n", answerMs.load());
  EXPECT_GE(answerMs, 0);
  EXPECT_LT(answerMs, 100);

  for (UINT message : {static_cast<UINT>(WM_COMMAND), static_cast<UINT>(WM_TIMER),
                       static_cast<UINT>(WM_POWERBROADCAST)}) {
    const WPARAM wParam = message == WM_COMMAND ? IDM_TRAY_RELOAD
                          : message == WM_TIMER ? 20000
                                                : PBT_APMRESUMEAUTOMATIC;
    SendMessageA(window, message, wParam, 0);
  }
  pump(50);
  EXPECT_EQ(work.started, 2) << "no second update while one runs";
  work.gateOpen = true;
  finishUpdates();
  EXPECT_EQ(program->tray().state(), IconState::Ready);
}

TEST_F(MainWindowTest, MessagesThatStartAnUpdate) {
  finishUpdates();
  struct Case {
    UINT message;
    WPARAM wParam;
    int startedAfter;
  } const cases[] = {
      {WM_TIMER, 20000, 1},  // not yet due
      {WM_COMMAND, IDM_TRAY_RELOAD, 2},
      {WM_COMMAND, 4242, 2},       // not a command of ours: default handling
      {kTrayNotifyMessage, 0, 2},  // the mouse passing over the icon
      {WM_POWERBROADCAST, PBT_APMRESUMEAUTOMATIC, 3},
      {WM_POWERBROADCAST, PBT_APMRESUMESUSPEND, 3},  // the same wake-up
      {WM_DISPLAYCHANGE, 32, 3},                     // Center: nothing to draw again
  };
  for (const Case& c : cases) {
    const LPARAM lParam = c.message == kTrayNotifyMessage ? WM_MOUSEMOVE : 0;
    SendMessageA(window, c.message, c.wParam, lParam);
    finishUpdates();
    EXPECT_EQ(work.started, c.startedAfter) << "message " << c.message << " " << c.wParam;
  }
  EXPECT_EQ(SendMessageA(window, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF), TRUE);
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(MainWindowTest, ShellRestartAndRefusedAddsBringTheIconBack) {
  finishUpdates();
  work.kind = OutcomeKind::Failed;
  SendMessageA(window, WM_COMMAND, IDM_TRAY_RELOAD, 0);
  finishUpdates();
  shell.forget();  // the new shell knows no icon of ours
  shell.shown.clear();
  SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  ASSERT_FALSE(shell.shown.empty());
  EXPECT_EQ(shell.shown.back().rfind("error \"Tessaren, communication error!\nHTTP 404", 0), 0u)
      << shell.shown.back();
  EXPECT_GE(shell.reloads, 1) << "pictures at the new shell's size";

  // The shell refuses the icon for a while (busy at sign-in): it is added again later.
  shell.forget();
  shell.refusals = 2;  // the add after the new pictures, and the one TaskbarCreated asks for
  SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_FALSE(program->tray().shown());
  SendMessageA(window, WM_TIMER, kTrayRetryTimerId, 0);
  EXPECT_TRUE(program->tray().shown());
}

// A window on a thread of its own, which keeps the /status answers it is sent, or, hung,
// never takes a message at all.
class ReplyWindow {
 public:
  explicit ReplyWindow(bool hung) {
    thread_ = std::thread([this, hung] {
      WNDCLASSA windowClass{};
      windowClass.lpfnWndProc = [](HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        auto* self = reinterpret_cast<ReplyWindow*>(GetWindowLongPtrA(window, GWLP_USERDATA));
        if (message == WM_COPYDATA && self != nullptr) {
          const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
          std::lock_guard<std::mutex> lock(self->mutex_);
          self->answers_.emplace_back(static_cast<const char*>(data->lpData), data->cbData);
          return LRESULT{TRUE};
        }
        return DefWindowProcA(window, message, wParam, lParam);
      };
      windowClass.lpszClassName = "TessarenTestReply";
      RegisterClassA(&windowClass);
      HWND window = CreateWindowA("TessarenTestReply", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  nullptr, nullptr);
      SetWindowLongPtrA(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
      threadId_ = GetCurrentThreadId();
      window_ = window;
      if (hung) {
        WaitForSingleObject(release_, INFINITE);
      } else {
        MSG message;
        while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
      }
      DestroyWindow(window);
    });
    while (window_ == nullptr) Sleep(1);
  }
  ~ReplyWindow() {
    SetEvent(release_);
    PostThreadMessageA(threadId_, WM_QUIT, 0, 0);
    thread_.join();
    CloseHandle(release_);
  }
  HWND window() const { return window_; }
  std::vector<std::string> answers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return answers_;
  }

 private:
  HANDLE release_ = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  std::atomic<DWORD> threadId_{0};
  std::atomic<HWND> window_{nullptr};
  std::mutex mutex_;
  std::vector<std::string> answers_;
  std::thread thread_;
};

// /status answers only a window of the process that asks, and a window that never takes
// the answer holds the program up for a moment only.
TEST_F(MainWindowTest, StatusAnswersTheAskersOwnWindowAndNeverWaitsLong) {
  finishUpdates();
  const auto ask = [&](HWND replyTo, DWORD asker) {
    std::string text = "/status\n" + std::to_string(asker);
    COPYDATASTRUCT data{kCommandTag, static_cast<DWORD>(text.size()), text.data()};
    return SendMessageA(window, WM_COPYDATA, reinterpret_cast<WPARAM>(replyTo),
                        reinterpret_cast<LPARAM>(&data));
  };
  ReplyWindow listening(false);
  EXPECT_EQ(ask(listening.window(), GetCurrentProcessId()), kExitOk);
  ASSERT_EQ(listening.answers().size(), 1u);
  EXPECT_EQ(listening.answers()[0].rfind("Tessaren\nLast update: ", 0), 0u)
      << listening.answers()[0];
  ask(listening.window(), GetCurrentProcessId() + 4);
  ask(listening.window(), 0);
  EXPECT_EQ(listening.answers().size(), 1u) << "no answer to a window of another process";

  ReplyWindow hung(true);
  const auto start = Clock::now();
  EXPECT_EQ(ask(hung.window(), GetCurrentProcessId()), kExitOk);
  const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start);
  std::printf("  /status to a window that never answers returned after %lld ms\n",
              static_cast<long long>(waited.count()));
  EXPECT_LT(waited, std::chrono::milliseconds(kStatusReplyWaitMs + 2000));
}

// What the tray menu shows while it is open, read from the menu itself.
struct MenuSeen {
  UINT defaultItem = static_cast<UINT>(-1);
  std::string morning;
  bool hasPause = false;
  bool hasResume = false;
};
MenuSeen menuSeen;

void CALLBACK readOpenMenu(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND menuWindow = FindWindowA("#32768", nullptr);
  const auto menu = reinterpret_cast<HMENU>(SendMessageA(menuWindow, MN_GETHMENU, 0, 0));
  if (menu != nullptr) {
    menuSeen.defaultItem = GetMenuDefaultItem(menu, FALSE, 0);
    char text[64] = {};
    GetMenuStringA(menu, IDM_TRAY_PAUSE_MORNING, text, sizeof text, MF_BYCOMMAND);
    menuSeen.morning = text;
    menuSeen.hasPause = GetMenuState(menu, IDM_TRAY_PAUSE_HOUR, MF_BYCOMMAND) != UINT(-1);
    menuSeen.hasResume = GetMenuState(menu, IDM_TRAY_RESUME, MF_BYCOMMAND) != UINT(-1);
  }
  EndMenu();
}

// About is the menu's default item, the one a double-click runs, and "Until tomorrow" says
// when the pause ends; paused, the menu offers Resume instead.
TEST_F(MainWindowTest, TheMenuShowsAboutInBoldAndWhenThePauseEnds) {
  finishUpdates();
  const auto open = [&] {
    menuSeen = MenuSeen{};
    SetTimer(nullptr, 0, 300, readOpenMenu);
    SendMessageA(window, kTrayNotifyMessage, MAKEWPARAM(100, 100), MAKELPARAM(WM_CONTEXTMENU, 0));
  };
  open();
  EXPECT_EQ(menuSeen.defaultItem, static_cast<UINT>(IDM_TRAY_ABOUT));
  EXPECT_EQ(menuSeen.morning, pauseUntilMorningLabel(std::time(nullptr)));
  EXPECT_EQ(menuSeen.morning.rfind("Until ", 0), 0u) << menuSeen.morning;
  EXPECT_TRUE(menuSeen.hasPause);
  EXPECT_FALSE(menuSeen.hasResume);

  SendMessageA(window, WM_COMMAND, IDM_TRAY_PAUSE_FOREVER, 0);
  open();
  EXPECT_EQ(menuSeen.defaultItem, static_cast<UINT>(IDM_TRAY_ABOUT));
  EXPECT_FALSE(menuSeen.hasPause);
  EXPECT_TRUE(menuSeen.hasResume);
  SendMessageA(window, WM_COMMAND, IDM_TRAY_RESUME, 0);
}

// What Save picture as... showed: its folder and where it stood, then cancelled.
struct SaveDialogSeen {
  std::wstring folder;
  RECT at{};
  bool seen = false;
};
SaveDialogSeen saveSeen;

void CALLBACK readSaveDialog(HWND, UINT, UINT_PTR timer, DWORD) {
  HWND dialog = FindWindowW(L"#32770", L"Save picture as");
  if (dialog == nullptr) return;
  KillTimer(nullptr, timer);
  wchar_t folder[MAX_PATH] = {};
  SendMessageW(dialog, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(folder));
  saveSeen.folder = folder;
  GetWindowRect(dialog, &saveSeen.at);
  saveSeen.seen = true;
  PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
}

std::wstring withoutEndSlash(std::wstring folder) {
  while (!folder.empty() && folder.back() == L'\\') folder.pop_back();
  for (wchar_t& c : folder) c = static_cast<wchar_t>(towlower(c));
  return folder;
}

// The first time in the user's Pictures, then in the folder last saved into; centred on
// the screen, though its owner is the hidden main window.
TEST_F(MainWindowTest, SavePictureAsStartsInPicturesThenTheLastFolderCentred) {
  finishUpdates();
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = temp;  // the picture folder of the first run here
  if (FILE* file = std::fopen((folder + kPictureFileName).c_str(), "wb")) {
    std::fputs("\xff\xd8\xff", file);
    std::fclose(file);
  }
  wchar_t* pictures = nullptr;
  ASSERT_TRUE(SUCCEEDED(SHGetKnownFolderPath(FOLDERID_Pictures, 0, nullptr, &pictures)));
  const std::wstring picturesFolder = pictures;
  CoTaskMemFree(pictures);
  CreateDirectoryW(picturesFolder.c_str(), nullptr);

  const auto open = [&] {
    saveSeen = SaveDialogSeen{};
    SetTimer(nullptr, 0, 100, readSaveDialog);
    SendMessageA(window, WM_COMMAND, IDM_TRAY_SAVE_PICTURE, 0);
    for (int i = 0; i < 300 && !saveSeen.seen; ++i) pump(20);
    pump(100);
  };
  open();
  ASSERT_TRUE(saveSeen.seen);
  EXPECT_EQ(withoutEndSlash(saveSeen.folder), withoutEndSlash(picturesFolder));
  MONITORINFO monitor{};
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor);
  const RECT& work = monitor.rcWork;
  // Centred as it first showed; the dialog grows a little after that (Wine's by 23 px).
  const auto offCentre = [](LONG a, LONG b, LONG c, LONG d) {
    return std::abs((a + b) - (c + d)) / 2;
  };
  EXPECT_LE(offCentre(saveSeen.at.left, saveSeen.at.right, work.left, work.right), 16);
  EXPECT_LE(offCentre(saveSeen.at.top, saveSeen.at.bottom, work.top, work.bottom), 16);

  // Saved into the picture folder last time (as the dialog stores it).
  writeValue(store, ValueId::SaveFolder, folder);
  open();
  ASSERT_TRUE(saveSeen.seen);
  EXPECT_EQ(withoutEndSlash(saveSeen.folder), withoutEndSlash(wideText(folder)));
  DeleteFileA((folder + kPictureFileName).c_str());
}

TEST_F(MainWindowTest, EveryWayToEndCancelsTheUpdateRemovesTheIconOnceAndQuits) {
  enum class Way { TrayExit, Close, EndSession };
  for (Way way : {Way::TrayExit, Way::Close, Way::EndSession}) {
    SCOPED_TRACE(static_cast<int>(way));
    if (!IsWindow(window)) {
      work.started = 0;
      SetUp();
    }
    finishUpdates();
    work.gateOpen = false;
    SendMessageA(window, WM_COMMAND, IDM_TRAY_RELOAD, 0);
    while (work.started < 2) pump(5);
    const auto start = Clock::now();
    switch (way) {
      case Way::TrayExit:
        SendMessageA(window, WM_COMMAND, IDM_TRAY_EXIT, 0);
        break;
      case Way::Close:
        SendMessageA(window, WM_CLOSE, 0, 0);
        break;
      case Way::EndSession:
        SendMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        break;
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(kExitWaitMs + 300));
    EXPECT_TRUE(pump(200)) << "a quit message follows";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(work.sawCancel) << "the running update was told to stop";
    EXPECT_FALSE(program->leftWorkersBehind()) << "it stopped within the wait";
    EXPECT_EQ(shell.removals, 1);
    EXPECT_FALSE(shell.present);
    work.gateOpen = true;
    work.sawCancel = false;
  }
}

// Open log on a type nothing opens (as .log under Wine and on a fresh Windows): Notepad
// takes it. A file that is not there is refused with the system's error number.
TEST(OpenDocument, NotepadOpensWhatNoProgramIsAssociatedWith) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  const std::string path = std::string(temp) + "tessaren-open-test.no-such-type-here";
  if (FILE* file = std::fopen(path.c_str(), "wb")) std::fclose(file);
  HANDLE process = nullptr;
  ASSERT_EQ(openDocument(nullptr, path, &process), 0u);
  ASSERT_NE(process, nullptr);
  wchar_t image[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  QueryFullProcessImageNameW(process, 0, image, &size);
  std::wstring name(image);
  for (wchar_t& c : name) c = static_cast<wchar_t>(towlower(c));
  EXPECT_NE(name.find(L"notepad.exe"), std::wstring::npos);
  TerminateProcess(process, 0);
  WaitForSingleObject(process, 5000);
  CloseHandle(process);
  DeleteFileA(path.c_str());

  EXPECT_NE(openDocument(nullptr, std::string(temp) + "tessaren-no-such-file.log"), 0u);
}

}  // namespace
}  // namespace tessaren
