// The refresh cycle and one update with its tray feedback.
#include "app/refresh_cycle.h"

#include <algorithm>
#include <utility>

#include "app/timer_api.h"
#include "download/download_target.h"
#include "settings/settings_store.h"
#include "tray/tray_icon.h"

namespace tessaren {
namespace {

WindowHandle mainWindow = 0;
std::int32_t interval = 0;  // minutes; only the cycle writes it

UpdateRunner& updateRunner() {
  static UpdateRunner runner = runDownloadJob;
  return runner;
}

}  // namespace

WindowHandle mainWindowHandle() { return mainWindow; }
void setMainWindowHandle(WindowHandle window) { mainWindow = window; }
std::int32_t refreshInterval() { return interval; }
void resetRefreshInterval() { interval = 0; }

std::uint32_t timerPeriodFor(std::int32_t intervalMinutes) {
  const std::uint64_t minutes =
      static_cast<std::uint64_t>(std::max<std::int32_t>(intervalMinutes, 1));
  return static_cast<std::uint32_t>(std::min<std::uint64_t>(minutes * 60000, kTimerPeriodLimit));
}

std::int32_t runDownloadJob() {
  DownloadJob job;
  return job.fetch();
}

void setUpdateRunner(UpdateRunner runner) {
  updateRunner() = runner ? std::move(runner) : UpdateRunner(runDownloadJob);
}

void refreshCycle() {
  timerApi().killTimer(mainWindow, kRefreshTimerId);
  ensureDefaults();
  RegistryAccess().readNumber(kSettingsSubkey, "interval", interval);
  if (interval < 1) interval = 1;
  updateWithFeedback();
  timerApi().setTimer(mainWindow, kRefreshTimerId, timerPeriodFor(interval));
}

void updateWithFeedback() {
  TrayIcon& icon = trayIcon();
  icon.setState(IconState::Loading);
  icon.setTip(kTipLoading);
  const std::int32_t result = updateRunner()();
  if (result != 0) {
    icon.setTip(kTipError);
    icon.setState(IconState::Error);
  } else {
    icon.setTip(kTipIdle);
    icon.setState(IconState::Ready);
  }
}

}  // namespace tessaren
