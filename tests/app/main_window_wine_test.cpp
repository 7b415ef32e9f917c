// The main window procedure under Wine, with the tray, the timer and the update's work
// replaced by doubles: the window answers while an update waits, which messages start an
// update, and that every way out cancels the update and takes the icon away.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "app/main_window.h"
#include "res/resource.h"
#include "tests/support/fake_registry.h"
#include "tray/tray_icon.h"
#include "update/timer_api.h"

namespace tessaren {
namespace {

using test::FakeRegistry;
using test::perUserSettingsKey;
using Clock = std::chrono::steady_clock;

struct Sent {
  std::uint32_t message;
  NotifyIconRecord record;
};

class RecordingTray final : public TrayApi {
 public:
  RecordingTray() { setTrayApi(this); }
  ~RecordingTray() override { setTrayApi(nullptr); }
  bool notifyIcon(std::uint32_t message, const NotifyIconRecord& record) override {
    sent.push_back({message, record});
    if (refusals > 0) {
      --refusals;
      return false;
    }
    return true;
  }
  IconHandle loadIcon(ModuleHandle, int id) override { return static_cast<IconHandle>(id); }
  void destroyIcon(IconHandle) override {}
  int count(std::uint32_t message) const {
    int n = 0;
    for (const Sent& s : sent) n += s.message == message ? 1 : 0;
    return n;
  }
  std::vector<Sent> sent;
  int refusals = 0;
};

class RecordingTimer final : public TimerApi {
 public:
  RecordingTimer() { setTimerApi(this); }
  ~RecordingTimer() override { setTimerApi(nullptr); }
  bool killTimer(WindowHandle, std::uintptr_t) override { return true; }
  bool setTimer(WindowHandle window, std::uintptr_t id, std::uint32_t period) override {
    sets.push_back({window, id, period});
    return true;
  }
  struct Set {
    WindowHandle window;
    std::uintptr_t id;
    std::uint32_t period;
  };
  std::vector<Set> sets;
};

constexpr char kClassName[] = "TESSAREN";

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
      outcome.reason = cancel.stopped() ? kCancelledReason : "HTTP 404 Not Found";
    return outcome;
  }
};

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.putNumber(RegistryRoot::CurrentUser, perUserSettingsKey(), "install", 2);
    registry.putNumber(RegistryRoot::CurrentUser, perUserSettingsKey(), "interval", 7);
    setUpdateJob([this](const UpdateRequest& request, CancelToken& cancel) {
      return work(request, cancel);
    });
    static bool registered = false;
    if (!registered) registerMainClass(GetModuleHandleA(nullptr), kClassName);
    registered = true;
    ASSERT_TRUE(
        createMainWindow(GetModuleHandleA(nullptr), SW_SHOWMAXIMIZED, kClassName, "Tessaren"));
    window = FindWindowA(kClassName, nullptr);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    work.gateOpen = true;
    if (IsWindow(window)) DestroyWindow(window);
    pump(100);
    setUpdateJob(nullptr);
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
    for (int i = 0; i < 200 && (trayIcon().record().hIcon == 129 || work.started == 0); ++i)
      pump(10);
  }
  std::string tip() const { return trayIcon().record().szTip; }

  FakeRegistry registry;
  RecordingTray tray;
  RecordingTimer timer;
  Work work;
  HWND window = nullptr;
};

TEST_F(MainWindowTest, StartsHiddenWithTheIconAndTheFirstUpdateOnTheWorker) {
  EXPECT_FALSE(IsWindowVisible(window)) << "the show command is dropped";
  ASSERT_GE(tray.sent.size(), 2u);
  EXPECT_EQ(tray.sent[0].message, kNotifyAdd);
  EXPECT_EQ(tray.sent[0].record.hWnd, reinterpret_cast<WindowHandle>(window));
  EXPECT_EQ(tray.sent[0].record.hIcon, 131u);
  EXPECT_STREQ(tray.sent[1].record.szTip, "Tessaren");
  EXPECT_EQ(tray.sent.back().record.hIcon, 129u) << "loading while the first update runs";
  finishUpdates();
  EXPECT_EQ(work.started, 1);
  EXPECT_EQ(trayIcon().record().hIcon, 131u);
  EXPECT_EQ(tip().rfind("Tessaren\nupdated ", 0), 0u) << tip();
  // Seven minutes away, looked at every minute.
  ASSERT_FALSE(timer.sets.empty());
  EXPECT_EQ(timer.sets.back().id, 20000u);
  EXPECT_EQ(timer.sets.back().period, 60'000u);
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
  EXPECT_EQ(trayIcon().record().hIcon, 131u);
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
      {WM_COMMAND, 4242, 2},  // not a command of ours: default handling
      {kTrayNotifyMessage, kTrayIconId, 2},
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
  tray.sent.clear();
  tray.refusals = 1;  // the new shell knows no icon of ours
  SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  ASSERT_EQ(tray.sent.size(), 2u) << "the change is refused, so the icon is added again";
  EXPECT_EQ(tray.sent[1].message, kNotifyAdd);
  EXPECT_EQ(tray.sent[1].record.hIcon, 130u);
  EXPECT_EQ(
      std::string(tray.sent[1].record.szTip).rfind("Tessaren, communication error!\nHTTP 404", 0),
      0u);

  // The shell refuses the icon for a while (busy at sign-in): it is added again later.
  tray.refusals = 2;
  SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  EXPECT_FALSE(trayIcon().shown());
  SendMessageA(window, WM_TIMER, kTrayRetryTimerId, 0);
  EXPECT_TRUE(trayIcon().shown());
}

TEST_F(MainWindowTest, EveryWayToEndCancelsTheUpdateRemovesTheIconOnceAndQuits) {
  enum class Way { TrayExit, ExitCommand, Close, EndSession };
  for (Way way : {Way::TrayExit, Way::ExitCommand, Way::Close, Way::EndSession}) {
    SCOPED_TRACE(static_cast<int>(way));
    if (!IsWindow(window)) {
      work.started = 0;
      SetUp();
    }
    finishUpdates();
    work.gateOpen = false;
    SendMessageA(window, WM_COMMAND, IDM_TRAY_RELOAD, 0);
    while (work.started < 2) pump(5);
    tray.sent.clear();
    const auto start = Clock::now();
    switch (way) {
      case Way::TrayExit:
        SendMessageA(window, WM_COMMAND, IDM_TRAY_EXIT, 0);
        break;
      case Way::ExitCommand:
        SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        break;
      case Way::Close:
        SendMessageA(window, WM_CLOSE, 0, 0);
        break;
      case Way::EndSession:
        SendMessageA(window, WM_ENDSESSION, TRUE, ENDSESSION_LOGOFF);
        break;
    }
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(500));
    EXPECT_TRUE(pump(200)) << "a quit message follows";
    EXPECT_FALSE(IsWindow(window));
    EXPECT_TRUE(work.sawCancel) << "the running update was told to stop";
    EXPECT_EQ(tray.count(kNotifyDelete), 1);
    EXPECT_EQ(tray.sent.back().message, kNotifyDelete);
    EXPECT_EQ(tray.sent.back().record.uID, kTrayIconId);
    work.gateOpen = true;
    work.sawCancel = false;
  }
}

}  // namespace
}  // namespace tessaren
