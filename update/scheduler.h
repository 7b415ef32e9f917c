// The one owner of the schedule: when the next update is due, the back-off after
// failures, catching up after sleep, and the one update that may run at a time. It lives
// on the GUI thread; the update itself runs on a worker (UpdateRunner), and everything the
// user sees of it goes through the listener.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <optional>

#include "update/clock.h"
#include "update/outcome.h"
#include "update/timer_api.h"
#include "update/update_job.h"

namespace tessaren {

constexpr std::uintptr_t kRefreshTimerId = 20000;
// The timer looks at the clocks at least this often, so that an update the computer slept
// through is noticed within a minute of waking.
constexpr std::chrono::milliseconds kLongestTimerWait{60'000};

class UpdateRunner {
 public:
  virtual ~UpdateRunner() = default;
  // Starts the update in the background. Once it has ended, the GUI thread is told (for
  // the product: a message posted to the main window) and calls Scheduler::workerDone.
  virtual void start(const UpdateRequest& request) = 0;
  // The outcome of an ended update, once; nothing for an id it does not know.
  virtual std::optional<UpdateOutcome> collect(std::uint64_t id) = 0;
  // Stops the running update and waits a moment for it; one that is still held by a
  // blocking network call is left behind, to end by itself (or with the process), and is
  // never heard of again.
  virtual void abandon() = 0;
};

class ScheduleListener {
 public:
  virtual ~ScheduleListener() = default;
  virtual void updateStarted(const UpdateRequest& request) = 0;
  // nextUpdate: when the next one is due. shown is false for an update that was cancelled
  // because the user replaced it (Save) or left (Exit): it goes to the log only.
  virtual void updateFinished(const UpdateRequest& request, const UpdateOutcome& outcome,
                              std::optional<std::time_t> nextUpdate, bool shown) = 0;
};

class Scheduler {
 public:
  Scheduler(Clock& clock, TimerApi& timer, UpdateRunner& runner, ScheduleListener& listener);

  void setWindow(WindowHandle window) { window_ = window; }

  // The first update, at start-up.
  void startUp();
  // Every WM_TIMER of the main window.
  void timerFired();
  // The tray menu's Reload: an update now, unless one is running.
  void reload();
  // Properties saved: the running update (if any) is cancelled and a new one starts at
  // once with the new settings.
  void settingsSaved();
  // The computer woke from sleep.
  void resumed();
  // Screens were added, removed or resized: the kept picture is drawn again.
  void screensChanged();
  // The worker's message arrived on the GUI thread.
  void workerDone(std::uint64_t id);
  // Exit or the end of the Windows session: nothing runs or starts afterwards.
  void shutdown();

  bool running() const { return current_.has_value(); }
  // Wall-clock time of the next update; nothing while one runs or after shutdown.
  std::optional<std::time_t> nextUpdate() const;
  int failuresInARow() const { return failures_; }

  // The wait after the given number of failures in a row: 1, 2, 4, 8 ... minutes, never
  // longer than the interval; the interval itself after none.
  static std::chrono::minutes retryDelay(int failures, std::int32_t intervalMinutes);

 private:
  void begin(bool redrawOnly);
  // Cancels the running update, if any, and logs it as cancelled.
  void dropCurrent();
  void dueAfter(std::chrono::minutes delay);
  void arm();

  Clock& clock_;
  TimerApi& timer_;
  UpdateRunner& runner_;
  ScheduleListener& listener_;
  WindowHandle window_ = 0;

  std::optional<UpdateRequest> current_;
  std::uint64_t lastId_ = 0;
  bool redrawPending_ = false;
  bool stopped_ = false;
  int failures_ = 0;
  std::int32_t interval_ = kDefaultInterval;
  std::optional<SteadyTime> dueSteady_;
  std::time_t dueWall_ = 0;
  std::time_t lastResumeWall_ = 0;  // when a resume last started an update
};

}  // namespace tessaren
