// The one owner of the schedule: when the next update is due, the back-off after
// failures, catching up after sleep, the time limit of an update, and the one update that
// may run at a time. It lives on the GUI thread; updates run on workers (UpdateRunner),
// everything the user sees of them goes through the listener, and the applied-picture
// record is written here, in the order the pictures reached the desktop.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <optional>

#include "platform/program_ids.h"
#include "settings/settings_store.h"
#include "update/clock.h"
#include "update/conditions.h"
#include "update/outcome.h"
#include "update/timer_api.h"
#include "update/update_job.h"
#include "update/wake_up.h"

namespace tessaren {

// The timer looks at the clocks at least this often, so that an update the computer slept
// through is noticed within a minute of waking.
constexpr std::chrono::milliseconds kLongestTimerWait{60'000};

// Why an update that is due does not start now.
enum class Hold { None, Paused, Metered, CostUnknown, BatterySaver, NoNetwork };

// The one rule: what the user asks for (Reload, Save) always runs; an automatic update
// (the timer, start-up, waking from sleep) waits while the user paused the updates, and on
// a metered connection (or one whose cost is not known yet) or in battery saver unless
// the user allowed those.
Hold holdFor(bool askedByUser, bool paused, Cost cost, bool batterySaver, bool updateOnMetered);

// The words for a hold: "metered connection", "battery saver", "paused", ...
std::string holdWord(Hold hold);

// The next 06:00 local time after now: the end of a pause "until tomorrow".
std::time_t nextMorning(std::time_t now, const UtcOffsetAt& offsetAt = systemUtcOffsetAt);

class UpdateRunner {
 public:
  virtual ~UpdateRunner() = default;
  // Starts the update in the background. Once it has ended, the GUI thread is told (for
  // the program: a message posted to the main window) and calls Scheduler::workerDone.
  virtual void start(const UpdateRequest& request) = 0;
  // Raises the update's stop flag and closes what it waits on; it ends by itself.
  virtual void cancel(std::uint64_t id) = 0;
  // The outcome of an ended update, once; nothing while it runs or for an unknown id.
  virtual std::optional<UpdateOutcome> collect(std::uint64_t id) = 0;
};

class ScheduleListener {
 public:
  virtual ~ScheduleListener() = default;
  virtual void updateStarted(const UpdateRequest& request) = 0;
  // nextUpdate: when the next one is due. shown is false for an update the user replaced
  // (Save) or left (Exit): it goes to the log and the About box's record only.
  virtual void updateFinished(const UpdateRequest& request, const UpdateOutcome& outcome,
                              std::optional<std::time_t> nextUpdate, bool shown) = 0;
  // An update that was due waits (hold), or no longer does (Hold::None). logged: the hold
  // has just begun and goes into the log. nextTry: when it is looked at again; until: the
  // end of a pause (kPausedUntilResumed for none).
  virtual void updateHeld(Hold hold, const std::string& host, bool logged,
                          std::optional<std::time_t> nextTry, std::optional<std::time_t> until) = 0;
};

class Scheduler {
 public:
  // deadline: the longest an update may run before it is given up as timed out.
  Scheduler(Clock& clock, TimerApi& timer, UpdateRunner& runner, ScheduleListener& listener,
            SettingsStore& settings, Conditions& conditions,
            std::chrono::milliseconds deadline = std::chrono::minutes(5));

  // The first update, at start-up.
  void startUp();
  // Every WM_TIMER of the main window with one of the ids above.
  void timerFired(std::uintptr_t id);
  // The tray menu's Reload: an update now, unless one is running; also while paused or
  // on a metered connection. After showKept the updates resume, and the update draws the
  // newest picture even when it is unchanged.
  void reload();
  // Pause: no automatic update until then (kPausedUntilResumed: until resumed). The pause
  // is kept across restarts.
  void pause(std::time_t until);
  // Resume: an update that is due starts at once. After showKept, the newest pictures
  // are drawn again first.
  void resumeUpdates();
  // The end of the pause in force; nothing when not paused.
  std::optional<std::time_t> pausedUntil() const;
  // Properties saved: the running update (if any) is given up and a new one starts at
  // once with the new settings.
  void settingsSaved();
  // The computer woke from sleep: an update once the network is back (wakeUp.h).
  void resumed();
  // Screens were added, removed or resized: the kept picture is drawn again.
  void screensChanged();
  // Draws the pictures kept in entryFolder (a history entry) instead, and pauses the
  // automatic updates until resumed; the running update is given up. Until Resume or
  // Reload, every redraw draws that entry.
  void showKept(const std::string& entryFolder);
  // The entry showKept draws; empty while the updates' own pictures are shown.
  const std::string& shownKept() const { return drawFrom_; }
  // The worker's message arrived on the GUI thread.
  void workerDone(std::uint64_t id);
  // Called on the GUI thread for each update that put new pictures on the desktop (and in
  // its picture folder), in the order of the commits, once its record is stored.
  using NewPictures = std::function<void(const UpdateRequest&, const UpdateOutcome&)>;
  void onNewPictures(NewPictures call) { newPictures_ = std::move(call); }
  // Exit or the end of the Windows session: every update is cancelled and nothing starts
  // afterwards. The caller may wait a moment for the workers to end (workerDone: one that
  // committed before it heard of the cancel is recorded), then calls stopWaiting().
  void shutdown();
  bool waitingForWorkers() const { return !givenUp_.empty(); }
  void stopWaiting();

  bool running() const { return current_.has_value(); }
  // A new id for an update or a Check: one sequence for both, so that their files, named
  // after it, are never the same.
  std::uint64_t newId() { return ++lastId_; }
  // Wall-clock time of the next update; nothing while one runs or after shutdown.
  std::optional<std::time_t> nextUpdate() const;

  // The wait after the given number of failures in a row: 1, 2, 4, 8 ... minutes, never
  // longer than the interval; the interval itself after none.
  static std::chrono::minutes retryDelay(int failures, std::int32_t intervalMinutes);

 private:
  // An automatic update that is due: started, or held.
  void beginIfAllowed();
  // automatic: started by the schedule, not asked for (its failures may be quiet).
  void begin(bool redrawOnly, bool automatic = false);
  // The running update is cancelled, and logged once: with its own outcome when that comes
  // (a picture it put on the desktop before it heard of the cancel counts), or with
  // `otherwise` when it does not come in time. One that had already ended keeps its
  // outcome. logged: the caller has shown and logged how it ended (the time limit).
  void giveUpCurrent(const Failure& otherwise, bool logged);
  // Given-up updates not heard of within a minute are logged as they were given up.
  void logOverdueGivenUp();
  void completeCurrent(const UpdateOutcome& outcome);
  void finished(const UpdateRequest& request, const UpdateOutcome& outcome);
  void remember(const UpdateRequest& request, const UpdateOutcome& outcome, bool current);
  void dueAfter(std::chrono::seconds delay);
  void arm();

  Clock& clock_;
  TimerApi& timer_;
  UpdateRunner& runner_;
  ScheduleListener& listener_;
  SettingsStore& settings_;
  Conditions& conditions_;
  const std::chrono::milliseconds deadline_;
  Hold held_ = Hold::None;
  WakeUp wakeUp_;
  bool currentAutomatic_ = false;

  std::optional<UpdateRequest> current_;
  // Cancelled, their outcome still to come.
  struct GivenUp {
    UpdateRequest request;
    Failure otherwise;  // what is logged when no outcome comes
    SteadyTime at;
    bool logged = false;
  };
  std::map<std::uint64_t, GivenUp> givenUp_;
  std::uint64_t lastId_ = 0;
  std::uint64_t lastCommit_ = 0;  // the newest commit whose record is stored
  bool redrawPending_ = false;
  std::string drawFrom_;  // the history entry on the desktop (showKept)
  NewPictures newPictures_;
  bool stopped_ = false;
  bool started_ = false;
  int failures_ = 0;
  std::int32_t interval_ = kDefaultInterval;
  std::optional<SteadyTime> dueSteady_;
  std::time_t dueWall_ = 0;
  std::time_t lastResumeWall_ = 0;  // when a resume last started an update
};

}  // namespace tessaren
