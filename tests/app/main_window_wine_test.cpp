// The main window procedure under Wine, with the notification area, the settings and the
// update's work replaced by doubles: the window answers while an update waits, which
// messages start an update, and that every way out cancels the update, waits for it only
// a moment, and takes the icon away.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/command_line.h"
#include "app/program.h"
#include "platform/program_ids.h"
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

}  // namespace
}  // namespace tessaren
