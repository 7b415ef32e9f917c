// The refresh cycle: stop the timer, apply the first-run rule, read the period, run one
// update with tray feedback, and start the timer again.
#pragma once

#include <cstdint>
#include <functional>

#include "tray/tray_api.h"

namespace tessaren {

constexpr std::uintptr_t kRefreshTimerId = 20000;

// The window that owns the refresh timer; set once the main window exists.
WindowHandle mainWindowHandle();
void setMainWindowHandle(WindowHandle window);

// The timer period for a stored interval in minutes: at least one minute, and never
// more than the timer accepts (a product beyond it would otherwise wrap to a short one).
std::uint32_t timerPeriodFor(std::int32_t intervalMinutes);

// One update: 0 on success, anything else on failure. By default a DownloadJob's fetch.
using UpdateRunner = std::function<std::int32_t()>;
std::int32_t runDownloadJob();
// Replaces the update for tests; an empty function restores runDownloadJob.
void setUpdateRunner(UpdateRunner runner);

void refreshCycle();
void updateWithFeedback();

// The period in minutes that the last cycle read (0 before the first).
std::int32_t refreshInterval();
// Back to the state before the first cycle, for tests.
void resetRefreshInterval();

}  // namespace tessaren
