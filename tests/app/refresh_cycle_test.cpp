// The refresh cycle's calls in their order, across the timer, the registry, the tray and
// the update, and the timer period it derives from the stored interval.
#include "app/refresh_cycle.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "app/timer_api.h"
#include "download/download_target.h"
#include "settings/settings_store.h"
#include "tests/support/fake_http.h"
#include "tests/support/fake_registry.h"
#include "tray/tray_icon.h"

namespace tessaren {
namespace {

using test::FakeRegistry;
using test::perUserSettingsKey;
using Log = std::vector<std::string>;

constexpr WindowHandle kWindow = 0x77;
constexpr auto kUser = RegistryRoot::CurrentUser;

class LoggingTimer final : public TimerApi {
 public:
  explicit LoggingTimer(Log& log) : log_(log) { setTimerApi(this); }
  ~LoggingTimer() override { setTimerApi(nullptr); }
  bool killTimer(WindowHandle window, std::uintptr_t id) override {
    log_.push_back("kill " + std::to_string(id) + on(window));
    return false;
  }
  bool setTimer(WindowHandle window, std::uintptr_t id, std::uint32_t periodMs) override {
    log_.push_back("set " + std::to_string(id) + on(window) + " " + std::to_string(periodMs));
    periods.push_back(periodMs);
    return true;
  }
  std::vector<std::uint32_t> periods;

 private:
  static std::string on(WindowHandle window) { return window == kWindow ? "" : " (other window)"; }
  Log& log_;
};

// Names each picture by its resource, so the log reads "icon 129".
class LoggingTray final : public TrayApi {
 public:
  explicit LoggingTray(Log& log) : log_(log) { setTrayApi(this); }
  ~LoggingTray() override { setTrayApi(nullptr); }
  bool notifyIcon(std::uint32_t message, const NotifyIconRecord& record) override {
    log_.push_back("tray " + std::to_string(message) + " icon " + std::to_string(record.hIcon) +
                   " \"" + record.szTip + "\"");
    return true;
  }
  IconHandle loadIcon(ModuleHandle, int id) override { return static_cast<IconHandle>(id); }

 private:
  Log& log_;
};

// Passes every call on to the in-memory registry, logging the reads and writes of values.
class LoggingRegistry final : public RegistryApi {
 public:
  LoggingRegistry(FakeRegistry& store, Log& log) : store_(store), log_(log) {
    setRegistryApi(this);
  }
  ~LoggingRegistry() override { setRegistryApi(&store_); }
  long openKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
               RegistryKey& key) override {
    return store_.openKey(root, subkey, access, key);
  }
  long createKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
                 RegistryKey& key) override {
    return store_.createKey(root, subkey, access, key);
  }
  long queryValue(RegistryKey key, const std::string& name, std::uint8_t* data,
                  std::uint32_t& size) override {
    log_.push_back("read " + name);
    return store_.queryValue(key, name, data, size);
  }
  long setValue(RegistryKey key, const std::string& name, std::uint32_t type,
                const std::uint8_t* data, std::uint32_t size) override {
    log_.push_back("write " + name);
    return store_.setValue(key, name, type, data, size);
  }
  long closeKey(RegistryKey key) override { return store_.closeKey(key); }

 private:
  FakeRegistry& store_;
  Log& log_;
};

class RefreshCycleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setMainWindowHandle(kWindow);
    resetRefreshInterval();
    setUpdateRunner([this] {
      log.push_back("update");
      return updateResults.empty() ? 0 : updateResults[updates++ % updateResults.size()];
    });
    trayIcon().add(IconState::Ready, kWindow, kTrayNotifyMessage, 0);
    trayIcon().setTip(kTipIdle);
    log.clear();
  }
  void TearDown() override {
    trayIcon().remove();
    setUpdateRunner(nullptr);
    setMainWindowHandle(0);
  }
  void storeInstalled(std::int32_t interval) {
    store.putNumber(kUser, perUserSettingsKey(), "install", kInstalledMarker);
    store.putNumber(kUser, perUserSettingsKey(), "interval", interval);
  }

  Log log;
  std::vector<std::int32_t> updateResults;
  std::size_t updates = 0;
  FakeRegistry store;
  LoggingRegistry registry{store, log};
  LoggingTimer timer{log};
  LoggingTray tray{log};
};

TEST_F(RefreshCycleTest, FirstRunWritesDefaultsBeforeTheIntervalIsRead) {
  refreshCycle();
  // No settings key yet: the marker cannot even be read, so the defaults are written.
  const Log expected = {
      "kill 20000",
      "write url",
      "write temp",
      "write interval",
      "write display",
      "write install",
      "read interval",
      "tray 1 icon 129 \"Tessaren\"",
      "tray 1 icon 129 \"Tessaren, load wallpaper...\"",
      "update",
      "tray 1 icon 129 \"Tessaren\"",
      "tray 1 icon 131 \"Tessaren\"",
      "set 20000 3600000",
  };
  EXPECT_EQ(log, expected);
  EXPECT_EQ(refreshInterval(), 60);
}

TEST_F(RefreshCycleTest, FailureShowsTipThenErrorPictureAndSuccessRestoresReady) {
  storeInstalled(5);
  updateResults = {1, 0};
  refreshCycle();
  refreshCycle();
  const Log expected = {
      "kill 20000",
      "read install",
      "read interval",
      "tray 1 icon 129 \"Tessaren\"",
      "tray 1 icon 129 \"Tessaren, load wallpaper...\"",
      "update",
      "tray 1 icon 129 \"Tessaren, communication error!\"",
      "tray 1 icon 130 \"Tessaren, communication error!\"",
      "set 20000 300000",
      "kill 20000",
      "read install",
      "read interval",
      "tray 1 icon 129 \"Tessaren, communication error!\"",
      "tray 1 icon 129 \"Tessaren, load wallpaper...\"",
      "update",
      "tray 1 icon 129 \"Tessaren\"",
      "tray 1 icon 131 \"Tessaren\"",
      "set 20000 300000",
  };
  EXPECT_EQ(log, expected);
}

TEST_F(RefreshCycleTest, TimerPeriodFollowsTheStoredIntervalWithinTheTimersRange) {
  constexpr std::int32_t kMax = std::numeric_limits<std::int32_t>::max();
  struct Case {
    std::int32_t interval;
    std::uint32_t period;
  } cases[] = {
      {0, 60000},
      {-5, 60000},
      {std::numeric_limits<std::int32_t>::min(), 60000},
      {1, 60000},
      {60, 3600000},
      {35791, 2147460000},  // the last whole minute below the timer's limit
      {35792, kTimerPeriodLimit},
      // 71583 minutes would wrap around 32 bits to a period of 12.7 seconds.
      {71583, kTimerPeriodLimit},
      {kMax, kTimerPeriodLimit},
  };
  for (const Case& c : cases) {
    storeInstalled(c.interval);
    timer.periods.clear();
    refreshCycle();
    ASSERT_EQ(timer.periods.size(), 1u);
    EXPECT_EQ(timer.periods[0], c.period) << "interval " << c.interval;
    EXPECT_EQ(timerPeriodFor(c.interval), c.period) << "interval " << c.interval;
  }
}

TEST_F(RefreshCycleTest, UnreadableIntervalKeepsThePeriodOfTheCycleBefore) {
  store.putNumber(kUser, perUserSettingsKey(), "install", kInstalledMarker);
  refreshCycle();  // a cycle that reads no interval falls back to one minute only at first
  EXPECT_EQ(timer.periods.back(), 60000u);
  storeInstalled(30);
  refreshCycle();
  store.erase(kUser, perUserSettingsKey(), "interval");
  refreshCycle();
  EXPECT_EQ(timer.periods.back(), 1800000u);
}

// Without a replacement the update is a DownloadJob of its own, whose target is derived
// from what the registry holds at that moment.
TEST_F(RefreshCycleTest, EachUpdateDownloadsFromTheSettingsStoredThen) {
  setUpdateRunner(nullptr);
  resetDownloadTarget();
  Log http;
  test::FakeHttp server(http);
  server.responses.push_back({.status = "404"});
  storeInstalled(10);
  store.putText(kUser, perUserSettingsKey(), "url", "http://first.example/a.jpg");
  refreshCycle();
  store.putText(kUser, perUserSettingsKey(), "url", "http://second.example:8080/b.jpg");
  refreshCycle();

  Log connects;
  for (const std::string& line : http) {
    if (line.rfind("connect", 0) == 0) connects.push_back(line);
  }
  ASSERT_EQ(connects.size(), 2u);
  EXPECT_NE(connects[0].find("first.example:80"), std::string::npos) << connects[0];
  EXPECT_NE(connects[1].find("second.example:8080"), std::string::npos) << connects[1];
  EXPECT_STREQ(trayIcon().record().szTip, "Tessaren, communication error!");
  EXPECT_EQ(trayIcon().record().hIcon, 130u);
}

}  // namespace
}  // namespace tessaren
