// The schedule of updates.
#include "update/scheduler.h"

#include <algorithm>

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
// A cancelled update ends within moments on Windows (its request is closed under it); under
// Wine a network call goes on to its time-out. Past this it is logged as given up.
constexpr std::chrono::seconds kGivenUpLogAfter{60};

}  // namespace

Hold holdFor(bool askedByUser, bool paused, Cost cost, bool batterySaver, bool updateOnMetered) {
  if (askedByUser) return Hold::None;
  if (paused) return Hold::Paused;
  if (updateOnMetered) return Hold::None;
  if (cost == Cost::Metered) return Hold::Metered;
  if (cost == Cost::Unknown) return Hold::CostUnknown;
  if (batterySaver) return Hold::BatterySaver;
  return Hold::None;
}

std::string holdWord(Hold hold) {
  switch (hold) {
    case Hold::Paused:
      return "paused";
    case Hold::Metered:
      return "metered connection";
    case Hold::CostUnknown:
      return "connection cost unknown";
    case Hold::BatterySaver:
      return "battery saver";
    case Hold::NoNetwork:
      return "waiting for the network";
    case Hold::None:
      break;
  }
  return "";
}

std::time_t nextMorning(std::time_t now, const UtcOffsetAt& offsetAt) {
  return nextLocalHour(now + 1, 6, offsetAt);
}

Scheduler::Scheduler(Clock& clock, TimerApi& timer, UpdateRunner& runner,
                     ScheduleListener& listener, SettingsStore& settings, Conditions& conditions,
                     std::chrono::milliseconds deadline)
    : clock_(clock),
      timer_(timer),
      runner_(runner),
      listener_(listener),
      settings_(settings),
      conditions_(conditions),
      deadline_(deadline) {}

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

void Scheduler::startUp() { beginIfAllowed(); }

std::optional<std::time_t> Scheduler::pausedUntil() const { return settings_.pausedUntil(); }

void Scheduler::pause(std::time_t until) {
  if (stopped_) return;
  settings_.setPausedUntil(until);
  held_ = Hold::Paused;
  if (!current_) listener_.updateHeld(Hold::Paused, "", false, std::nullopt, until);
}

void Scheduler::resumeUpdates() {
  if (stopped_) return;
  settings_.setPausedUntil(std::nullopt);
  if (!drawFrom_.empty()) {
    // Back to the newest picture at once; an update that is due follows it.
    drawFrom_.clear();
    held_ = Hold::None;
    if (current_) {
      redrawPending_ = true;
      return;
    }
    begin(true);
    return;
  }
  if (current_) return;
  held_ = Hold::None;
  // Due already (or held while paused): now; else the tip says when.
  if (!dueSteady_ || clock_.steadyNow() >= *dueSteady_ || clock_.wallNow() > dueWall_) {
    beginIfAllowed();
  } else {
    listener_.updateHeld(Hold::None, "", false, dueWall_, std::nullopt);
    arm();
  }
}

void Scheduler::beginIfAllowed() {
  std::optional<std::time_t> until = settings_.pausedUntil();
  // A pause that has run out ends by itself.
  if (until && *until != kPausedUntilResumed && clock_.wallNow() >= *until) {
    settings_.setPausedUntil(std::nullopt);
    until.reset();
  }
  const Settings settings = settings_.load();
  const SteadyTime now = clock_.steadyNow();
  Hold hold = holdFor(false, until.has_value(), wakeUp_.costToHonour(now, conditions_.cost()),
                      conditions_.batterySaver(), settings.updateOnMetered);
  if (hold == Hold::None && wakeUp_.waitForNetwork(now, conditions_.connected()))
    hold = Hold::NoNetwork;
  if (hold == Hold::None) {
    held_ = Hold::None;
    begin(false, true);
    return;
  }
  // Looked at again every minute, so that an update that waits for the connection starts
  // within a minute of it becoming free, and every few seconds after a wake-up; only the
  // start of a hold is logged, and nothing of the wake-up's waiting for the network.
  const bool settling = wakeUp_.settling(now);
  const bool forTheNetwork = hold == Hold::NoNetwork || (settling && hold == Hold::CostUnknown);
  const bool logged = hold != held_ && hold != Hold::Paused && !forTheNetwork;
  // Waiting for the network is not logged: a hold that outlasts it is, when it begins.
  held_ = forTheNetwork ? Hold::NoNetwork : hold;
  if (!dueSteady_) dueAfter(minutes(0));
  const milliseconds wait = forTheNetwork ? milliseconds(kNetworkPoll) : kLongestTimerWait;
  timer_.kill(kRefreshTimerId);
  timer_.set(kRefreshTimerId, static_cast<std::uint32_t>(wait.count()));
  listener_.updateHeld(hold, hostOf(settings.url), logged,
                       clock_.wallNow() + duration_cast<seconds>(wait).count(), until);
}

void Scheduler::timerFired(std::uintptr_t id) {
  if (stopped_) return;
  if (id == kDeadlineTimerId) {
    timer_.kill(kDeadlineTimerId);
    if (!current_) return;
    // A server that holds back its answer is not waited out: the update is given up and
    // counts as failed, unless it has just ended after all.
    if (std::optional<UpdateOutcome> ended = runner_.collect(current_->id)) {
      completeCurrent(*ended);
      return;
    }
    const UpdateRequest request = *current_;
    giveUpCurrent(cancelledFailure(), true);
    finished(request,
             failedOutcome(hostOf(request.settings.url),
                           {FailureKind::TimedOut,
                            "the download took longer than " +
                                durationText(static_cast<std::uint32_t>(deadline_.count()))}));
    return;
  }
  logOverdueGivenUp();
  if (current_ || !dueSteady_) return;
  const bool due = clock_.steadyNow() >= *dueSteady_;
  const bool slept = clock_.wallNow() > dueWall_ + kOverdueSeconds;
  // A wake-up Windows did not announce: the wall clock far past the time, the steady clock
  // not (it stood still while the computer slept).
  if (slept && !due) wakeUp_.woke(clock_.steadyNow());
  if (due || slept) {
    beginIfAllowed();
  } else {
    arm();
  }
}

void Scheduler::reload() {
  if (stopped_ || current_) return;
  wakeUp_.userAsked();
  if (!drawFrom_.empty()) {
    // The record says that no picture of the updates is on the desktop: this one draws.
    drawFrom_.clear();
    settings_.setPausedUntil(std::nullopt);
    held_ = Hold::None;
  }
  failures_ = 0;
  begin(false);
}

void Scheduler::settingsSaved() {
  if (stopped_) return;
  failures_ = 0;
  wakeUp_.userAsked();
  // The update with the old settings is not waited for: the new one starts now.
  giveUpCurrent({FailureKind::Cancelled, "replaced by a newer update"}, false);
  begin(false);
}

void Scheduler::resumed() {
  if (stopped_) return;
  // Also for an update that slept with the computer: its network has gone under it.
  wakeUp_.woke(clock_.steadyNow());
  if (current_) return;
  const std::time_t now = clock_.wallNow();
  if (lastResumeWall_ != 0 && now - lastResumeWall_ < kResumeCoalesceSeconds) return;
  lastResumeWall_ = now;
  // The network may take a moment to come back: retries start from a minute again.
  failures_ = 0;
  beginIfAllowed();
}

void Scheduler::screensChanged() {
  if (stopped_) return;
  if (current_) {
    redrawPending_ = true;
    return;
  }
  begin(true);
}

void Scheduler::showKept(const std::string& entryFolder) {
  if (stopped_) return;
  drawFrom_ = entryFolder;
  settings_.setPausedUntil(kPausedUntilResumed);
  held_ = Hold::Paused;
  giveUpCurrent({FailureKind::Cancelled, "replaced by a picture from the history"}, false);
  begin(true);
}

void Scheduler::workerDone(std::uint64_t id) {
  std::optional<UpdateOutcome> outcome = runner_.collect(id);
  if (!outcome) return;
  if (auto given = givenUp_.find(id); given != givenUp_.end()) {
    const GivenUp& ended = given->second;
    if (outcome->commit > 0) remember(ended.request, *outcome, false);
    // Logged once, with what really happened: a cancel as the reason it was given up. Once
    // logged, only a picture it put on the desktop after all is news.
    if (!ended.logged || outcome->commit > 0) {
      listener_.updateFinished(
          ended.request,
          wasCancelled(*outcome) ? failedOutcome(outcome->host, ended.otherwise) : *outcome,
          std::nullopt, false);
    }
    givenUp_.erase(given);
    return;
  }
  if (!current_ || current_->id != id) return;
  completeCurrent(*outcome);
}

void Scheduler::completeCurrent(const UpdateOutcome& outcome) {
  const UpdateRequest request = std::move(*current_);
  current_.reset();
  timer_.kill(kDeadlineTimerId);
  remember(request, outcome, true);
  finished(request, outcome);
}

void Scheduler::finished(const UpdateRequest& request, const UpdateOutcome& outcome) {
  const bool failed = outcome.kind == OutcomeKind::Failed && !wasCancelled(outcome);
  // Soon after a wake-up an automatic update that changed nothing is tried again in a
  // moment, with nothing shown or logged.
  const bool quiet = failed && currentAutomatic_ && !request.redrawOnly && outcome.commit == 0 &&
                     outcome.failure && wakeUp_.quiet(clock_.steadyNow(), outcome.failure->kind);
  // Drawing the kept picture again is no update: the schedule stays as it was.
  if (quiet) {
    dueAfter(kQuietRetry);
  } else if (!request.redrawOnly || !dueSteady_) {
    failures_ = failed ? failures_ + 1 : 0;
    dueAfter(retryDelay(failures_, interval_));
  }
  if (quiet) {
    listener_.updateHeld(Hold::NoNetwork, outcome.host, false, dueWall_, std::nullopt);
  } else {
    listener_.updateFinished(request, outcome, dueWall_, true);
  }
  if (stopped_) return;
  // The tip goes on saying that the updates are paused.
  if (std::optional<std::time_t> until = settings_.pausedUntil())
    listener_.updateHeld(Hold::Paused, "", false, std::nullopt, until);
  if (redrawPending_) {
    redrawPending_ = false;
    begin(true);
    return;
  }
  arm();
}

void Scheduler::remember(const UpdateRequest& request, const UpdateOutcome& outcome, bool current) {
  if (!outcome.applied && outcome.monitorsApplied.empty()) return;
  // Records go in the order of the commits: one from a commit older than the last stored
  // would describe a picture no longer on the desktop. A record without a commit (new
  // validators for an unchanged picture) counts only from the update that is current.
  if (outcome.commit == 0 ? !current : outcome.commit <= lastCommit_) return;
  lastCommit_ = std::max(lastCommit_, outcome.commit);
  if (outcome.applied) settings_.saveApplied(*outcome.applied);
  for (const auto& [monitor, record] : outcome.monitorsApplied)
    settings_.saveApplied(monitor, record);
  if (outcome.newPicture && newPictures_) newPictures_(request, outcome);
}

void Scheduler::shutdown() {
  if (stopped_) return;
  stopped_ = true;
  timer_.kill(kRefreshTimerId);
  timer_.kill(kDeadlineTimerId);
  // Those given up earlier were cancelled then; now the one running too.
  giveUpCurrent(cancelledFailure(), false);
}

void Scheduler::stopWaiting() {
  for (auto& [id, given] : givenUp_) {
    if (!given.logged)
      listener_.updateFinished(given.request,
                               failedOutcome(hostOf(given.request.settings.url), given.otherwise),
                               std::nullopt, false);
  }
  givenUp_.clear();
}

void Scheduler::logOverdueGivenUp() {
  for (auto& [id, given] : givenUp_) {
    if (given.logged || clock_.steadyNow() < given.at + kGivenUpLogAfter) continue;
    given.logged = true;
    listener_.updateFinished(given.request,
                             failedOutcome(hostOf(given.request.settings.url), given.otherwise),
                             std::nullopt, false);
  }
}

void Scheduler::giveUpCurrent(const Failure& otherwise, bool logged) {
  if (!current_) return;
  const UpdateRequest request = std::move(*current_);
  current_.reset();
  redrawPending_ = false;
  timer_.kill(kDeadlineTimerId);
  // One that has ended already (its message still on the way) keeps its outcome.
  if (std::optional<UpdateOutcome> outcome = runner_.collect(request.id)) {
    remember(request, *outcome, true);
    listener_.updateFinished(request, *outcome, std::nullopt, false);
    return;
  }
  runner_.cancel(request.id);
  givenUp_.emplace(request.id, GivenUp{request, otherwise, clock_.steadyNow(), logged});
}

void Scheduler::begin(bool redrawOnly, bool automatic) {
  timer_.kill(kRefreshTimerId);
  currentAutomatic_ = automatic;
  settings_.repair();
  UpdateRequest request;
  request.id = newId();
  request.settings = settings_.load();
  request.applied = settings_.loadApplied();
  for (const auto& [monitor, source] : request.settings.monitorSources)
    request.monitorsApplied[monitor] = settings_.loadApplied(monitor);
  request.redrawOnly = redrawOnly;
  // An update brings the newest pictures back to the desktop, whatever was shown.
  if (!redrawOnly) drawFrom_.clear();
  request.drawFrom = drawFrom_;
  request.clearLeftovers = !started_;
  request.startedAt = clock_.wallNow();
  started_ = true;
  interval_ = request.settings.interval;
  current_ = request;
  listener_.updateStarted(request);
  timer_.set(kDeadlineTimerId, static_cast<std::uint32_t>(deadline_.count()));
  runner_.start(request);
}

void Scheduler::dueAfter(seconds delay) {
  dueSteady_ = clock_.steadyNow() + delay;
  dueWall_ = clock_.wallNow() + duration_cast<seconds>(delay).count();
}

void Scheduler::arm() {
  if (!dueSteady_) return;
  const auto left = duration_cast<milliseconds>(*dueSteady_ - clock_.steadyNow());
  const auto wait = std::clamp(left, milliseconds{1}, kLongestTimerWait);
  timer_.set(kRefreshTimerId, static_cast<std::uint32_t>(wait.count()));
}

}  // namespace tessaren
