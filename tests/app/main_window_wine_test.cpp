// The main window procedure under Wine, with the tray, the timer and the update replaced
// by doubles: which messages reach the refresh cycle and the tray, and that the icon goes
// whichever way the window ends.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window.h"
#include "app/refresh_cycle.h"
#include "app/timer_api.h"
#include "res/resource.h"
#include "tests/support/fake_registry.h"
#include "tray/tray_icon.h"

namespace tessaren {
namespace {

using test::FakeRegistry;
using test::perUserSettingsKey;

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
    return true;
  }
  IconHandle loadIcon(ModuleHandle, int id) override { return static_cast<IconHandle>(id); }
  int count(std::uint32_t message) const {
    int n = 0;
    for (const Sent& s : sent) n += s.message == message ? 1 : 0;
    return n;
  }
  std::vector<Sent> sent;
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

class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry.putNumber(RegistryRoot::CurrentUser, perUserSettingsKey(), "install", 2);
    registry.putNumber(RegistryRoot::CurrentUser, perUserSettingsKey(), "interval", 7);
    setUpdateRunner([this] {
      ++updates;
      return 0;
    });
    resetRefreshInterval();
    static bool registered = false;
    if (!registered) registerMainClass(GetModuleHandleA(nullptr), kClassName);
    registered = true;
    ASSERT_TRUE(
        createMainWindow(GetModuleHandleA(nullptr), SW_SHOWMAXIMIZED, kClassName, "Tessaren"));
    window = FindWindowA(kClassName, nullptr);
    ASSERT_NE(window, nullptr);
  }
  void TearDown() override {
    if (IsWindow(window)) DestroyWindow(window);
    drainQueue();
    setUpdateRunner(nullptr);
  }
  // Dispatches what is queued, as the message loop would, and reports whether a quit
  // message came by.
  bool drainQueue() {
    bool quit = false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        continue;
      }
      DispatchMessageA(&message);
    }
    return quit;
  }

  FakeRegistry registry;
  RecordingTray tray;
  RecordingTimer timer;
  int updates = 0;
  HWND window = nullptr;
};

TEST_F(MainWindowTest, StartsHiddenWithTheIconAndRunsTheFirstUpdate) {
  EXPECT_FALSE(IsWindowVisible(window)) << "the show command is dropped";
  ASSERT_GE(tray.sent.size(), 2u);
  EXPECT_EQ(tray.sent[0].message, kNotifyAdd);
  EXPECT_EQ(tray.sent[0].record.hWnd, reinterpret_cast<WindowHandle>(window));
  EXPECT_EQ(tray.sent[0].record.hIcon, 131u);
  EXPECT_STREQ(tray.sent[1].record.szTip, "Tessaren");
  EXPECT_EQ(updates, 1);
  ASSERT_EQ(timer.sets.size(), 1u);
  EXPECT_EQ(timer.sets[0].window, reinterpret_cast<WindowHandle>(window));
  EXPECT_EQ(timer.sets[0].id, 20000u);
  EXPECT_EQ(timer.sets[0].period, 7u * 60000);
}

TEST_F(MainWindowTest, TimerAndReloadRunACycleAndOtherCommandsDoNot) {
  struct Case {
    UINT message;
    WPARAM wParam;
    int updatesAfter;
  } cases[] = {
      {WM_TIMER, 20000, 2},
      {WM_TIMER, 1234, 3},  // any timer id
      {WM_COMMAND, IDM_TRAY_RELOAD, 4},
      {WM_COMMAND, 4242, 4},  // not a command of ours: default handling
      {kTrayNotifyMessage, kTrayIconId, 4},
  };
  for (const Case& c : cases) {
    LPARAM lParam = c.message == kTrayNotifyMessage ? WM_MOUSEMOVE : 0;
    EXPECT_EQ(SendMessageA(window, c.message, c.wParam, lParam), 0);
    EXPECT_EQ(updates, c.updatesAfter) << "message " << c.message << " " << c.wParam;
  }
  EXPECT_TRUE(IsWindow(window));
}

TEST_F(MainWindowTest, ShellRestartAddsTheIconAgainAsItWas) {
  registry.putNumber(RegistryRoot::CurrentUser, perUserSettingsKey(), "install", 2);
  setUpdateRunner([] { return 1; });
  SendMessageA(window, WM_COMMAND, IDM_TRAY_RELOAD, 0);
  tray.sent.clear();
  SendMessageA(window, RegisterWindowMessageA("TaskbarCreated"), 0, 0);
  ASSERT_EQ(tray.sent.size(), 1u);
  EXPECT_EQ(tray.sent[0].message, kNotifyAdd);
  EXPECT_EQ(tray.sent[0].record.hIcon, 130u);
  EXPECT_STREQ(tray.sent[0].record.szTip, "Tessaren, communication error!");
}

TEST_F(MainWindowTest, EveryWayToEndRemovesTheIconOnceAndQuits) {
  enum class Way { TrayExit, ExitCommand, Close };
  for (Way way : {Way::TrayExit, Way::ExitCommand, Way::Close}) {
    if (!IsWindow(window)) {
      SetUp();
      tray.sent.clear();
    }
    const int deletesBefore = tray.count(kNotifyDelete);
    switch (way) {
      case Way::TrayExit:
        SendMessageA(window, WM_COMMAND, IDM_TRAY_EXIT, 0);
        EXPECT_EQ(tray.count(kNotifyDelete), deletesBefore + 1) << "removed before the quit";
        break;
      case Way::ExitCommand:
        SendMessageA(window, WM_COMMAND, IDM_EXIT, 0);
        break;
      case Way::Close:
        SendMessageA(window, WM_CLOSE, 0, 0);
        break;
    }
    EXPECT_TRUE(drainQueue()) << "a quit message follows, way " << static_cast<int>(way);
    EXPECT_EQ(tray.count(kNotifyDelete), deletesBefore + 1) << "way " << static_cast<int>(way);
    EXPECT_EQ(tray.sent.back().message, kNotifyDelete);
    EXPECT_EQ(tray.sent.back().record.hWnd, reinterpret_cast<WindowHandle>(window));
    EXPECT_EQ(tray.sent.back().record.uID, kTrayIconId);
    if (way == Way::TrayExit) DestroyWindow(window);  // the posted WM_DESTROY left it standing
    drainQueue();
  }
}

}  // namespace
}  // namespace tessaren
