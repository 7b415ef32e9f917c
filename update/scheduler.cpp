// The schedule of updates.
#include "update/scheduler.h"

#include <algorithm>

#include "download/download_target.h"

namespace tessaren {
namespace {

using std::chrono::duration_cast;
using std::chrono::milliseconds;
using std::chrono::minutes;
using std::chrono::seconds;

// An update the wall clock shows more than this overdue was slept through.
constexpr std::time_t kOverdueSeconds = 60;
// Windows sends one resume message for the wake-up and often a second one when the user
// comes back; the update the first one started covers both.
constexpr std::time_t kResumeCoalesceSeconds = 60;

std::string hostOf(const Settings& settings) {
  const std::optional<DownloadTarget> target = deriveTarget(settings);
  return target ? target->serverName : "";
}

}  // namespace

Scheduler::Scheduler(Clock& clock, TimerApi& timer, UpdateRunner& runner,
                     ScheduleListener& listener)
    : clock_(clock), timer_(timer), runner_(runner), listener_(listener) {}

minutes Scheduler::retryDelay(int failures, std::int32_t intervalMinutes) {
  const minutes interval{std::max(intervalMinutes, 1)};
  if (failures <= 0) return interval;
  // 2^30 minutes is beyond any interval; stop doubling long before it could overflow.
  const minutes backOff{std::int64_t{1} << std::min(failures - 1, 30)};
  return std::min(backOff, interval);
}

std::optional<std::time_t> Scheduler::nextUpdate() const {
  if (stopped_ || current_ || !dueSteady_) return std::nullopt;
  return dueWall_;
}

void Scheduler::startUp() { begin(false); }

void Scheduler::timerFired() {
  if (stopped_ || current_ || !dueSteady_) return;
  const bool due = clock_.steadyNow() >= *dueSteady_;
  const bool slept = clock_.wallNow() > dueWall_ + kOverdueSeconds;
  if (due || slept) {
    begin(false);
  } else {
    arm();
  }
}

void Scheduler::reload() {
  if (stopped_ || current_) return;
  failures_ = 0;
  begin(false);
}

void Scheduler::settingsSaved() {
  if (stopped_) return;
  failures_ = 0;
  // The update with the old settings is not waited for: the new one starts now.
  dropCurrent();
  begin(false);
}

void Scheduler::resumed() {
  if (stopped_ || current_) return;
  const std::time_t now = clock_.wallNow();
  if (lastResumeWall_ != 0 && now - lastResumeWall_ < kResumeCoalesceSeconds) return;
  lastResumeWall_ = now;
  // The network may take a moment to come back: retries start from a minute again.
  failures_ = 0;
  begin(false);
}

void Scheduler::screensChanged() {
  if (stopped_) return;
  if (current_) {
    redrawPending_ = true;
    return;
  }
  begin(true);
}

void Scheduler::workerDone(std::uint64_t id) {
  std::optional<UpdateOutcome> outcome = runner_.collect(id);
  if (!outcome || !current_ || current_->id != id) return;
  const UpdateRequest request = std::move(*current_);
  current_.reset();
  // Drawing the kept picture again is no update: the schedule stays as it was.
  if (!request.redrawOnly || !dueSteady_) {
    if (outcome->kind == OutcomeKind::Failed) {
      ++failures_;
    } else {
      failures_ = 0;
    }
    dueAfter(retryDelay(failures_, interval_));
  }
  listener_.updateFinished(request, *outcome, dueWall_, true);
  if (redrawPending_) {
    redrawPending_ = false;
    begin(true);
    return;
  }
  arm();
}

void Scheduler::shutdown() {
  if (stopped_) return;
  stopped_ = true;
  timer_.killTimer(window_, kRefreshTimerId);
  dropCurrent();
}

void Scheduler::dropCurrent() {
  if (!current_) return;
  runner_.abandon();
  const UpdateRequest request = std::move(*current_);
  current_.reset();
  redrawPending_ = false;
  listener_.updateFinished(request, failedOutcome(hostOf(request.settings), kCancelledReason),
                           std::nullopt, false);
}

void Scheduler::begin(bool redrawOnly) {
  timer_.killTimer(window_, kRefreshTimerId);
  ensureDefaults();
  UpdateRequest request;
  request.id = ++lastId_;
  request.settings = loadSettings();
  request.applied = loadAppliedPicture();
  request.redrawOnly = redrawOnly;
  request.startedAt = clock_.wallNow();
  interval_ = request.settings.interval;
  current_ = request;
  listener_.updateStarted(request);
  runner_.start(request);
}

void Scheduler::dueAfter(minutes delay) {
  dueSteady_ = clock_.steadyNow() + delay;
  dueWall_ = clock_.wallNow() + duration_cast<seconds>(delay).count();
}

void Scheduler::arm() {
  if (!dueSteady_) return;
  const auto left = duration_cast<milliseconds>(*dueSteady_ - clock_.steadyNow());
  const auto wait = std::clamp(left, milliseconds{1}, kLongestTimerWait);
  timer_.setTimer(window_, kRefreshTimerId, static_cast<std::uint32_t>(wait.count()));
}

}  // namespace tessaren
