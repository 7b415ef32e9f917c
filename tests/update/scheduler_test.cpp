// The schedule with a fake clock, timer and worker: back-off and its cap, Reload and Save
// during an update, Exit during an update, the time limit, outcomes that come late, the
// order of the applied-picture records, resume messages, and the catch-up after sleep.
#include "update/scheduler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/source/zones.h"
#include "tests/support/memory_store.h"

namespace tessaren {
namespace {

using namespace std::chrono_literals;

class FakeClock final : public Clock {
 public:
  SteadyTime steadyNow() override { return steady; }
  std::time_t wallNow() override { return wall; }
  void pass(std::chrono::seconds time) {
    steady += time;
    wall += time.count();
  }
  SteadyTime steady{};
  std::time_t wall = 1'800'000'000;
};

class FakeTimer final : public TimerApi {
 public:
  void kill(std::uintptr_t id) override {
    if (id == kRefreshTimerId) armedMs.reset();
    if (id == kDeadlineTimerId) deadlineMs.reset();
  }
  void set(std::uintptr_t id, std::uint32_t periodMs) override {
    (id == kRefreshTimerId ? armedMs : deadlineMs) = periodMs;
  }
  std::optional<std::uint32_t> armedMs;
  std::optional<std::uint32_t> deadlineMs;
};

class FakeConditions final : public Conditions {
 public:
  Cost cost() override { return costNow; }
  bool batterySaver() override { return saverNow; }
  bool connected() override { return connectedNow; }
  Cost costNow = Cost::Free;
  bool saverNow = false;
  bool connectedNow = true;
};

// Starts nothing by itself: the test ends each update with finish().
class FakeRunner final : public UpdateRunner {
 public:
  void start(const UpdateRequest& request) override { started.push_back(request); }
  std::optional<UpdateOutcome> collect(std::uint64_t id) override {
    auto found = ended.find(id);
    if (found == ended.end()) return std::nullopt;
    UpdateOutcome outcome = found->second;
    ended.erase(found);
    return outcome;
  }
  void cancel(std::uint64_t id) override { cancelled.push_back(id); }

  std::vector<UpdateRequest> started;
  std::map<std::uint64_t, UpdateOutcome> ended;
  std::vector<std::uint64_t> cancelled;
};

class RecordingListener final : public ScheduleListener {
 public:
  void updateStarted(const UpdateRequest& request) override {
    events.push_back(std::string(request.redrawOnly ? "redraw" : "update") + " started");
  }
  void updateFinished(const UpdateRequest&, const UpdateOutcome& outcome,
                      std::optional<std::time_t> next, bool shown) override {
    events.push_back(kindWord(outcome) + (outcome.failure ? " " + outcome.failure->detail : "") +
                     (shown ? "" : " (log only)"));
    nextUpdate = next;
  }
  void updateHeld(Hold hold, const std::string& host, bool logged, std::optional<std::time_t>,
                  std::optional<std::time_t>) override {
    events.push_back((logged ? "skipped " : "held ") + host + " " + holdWord(hold));
  }
  std::vector<std::string> events;
  std::optional<std::time_t> nextUpdate;
};

UpdateOutcome outcomeOf(OutcomeKind kind) {
  UpdateOutcome outcome;
  outcome.kind = kind;
  if (kind == OutcomeKind::Failed)
    outcome.failure = Failure{FailureKind::HttpStatus, "HTTP 404 Not Found"};
  return outcome;
}

// An update that put the picture at url on the desktop with the given commit.
UpdateOutcome committed(const std::string& url, std::uint64_t commit) {
  UpdateOutcome outcome = outcomeOf(OutcomeKind::Updated);
  outcome.applied = AppliedPicture{.url = url,
                                   .pictureUrl = url,
                                   .validators = {"\"" + url + "\"", ""},
                                   .display = DisplayMode::Center,
                                   .known = true,
                                   .appliedAt = 1};
  outcome.commit = commit;
  return outcome;
}

class SchedulerTest : public ::testing::Test {
 protected:
  void SetUp() override { storeInterval(60); }
  void storeInterval(std::int32_t minutes) {
    writeValue(store, ValueId::Install, 2u);
    writeValue(store, ValueId::Interval, static_cast<std::uint32_t>(minutes));
  }
  // Ends the running update as the worker's message would.
  void finish(OutcomeKind kind) { finish(outcomeOf(kind)); }
  void finish(const UpdateOutcome& outcome) {
    ASSERT_FALSE(runner.started.empty());
    const std::uint64_t id = runner.started.back().id;
    runner.ended[id] = outcome;
    scheduler.workerDone(id);
  }
  // Lets time pass with the timer firing whenever it is due; true when an update started.
  bool waitFor(std::chrono::seconds time) {
    const std::size_t before = runner.started.size();
    std::chrono::seconds left = time;
    while (left > 0s && timer.armedMs && runner.started.size() == before) {
      const std::chrono::seconds step = std::min(
          left, std::chrono::ceil<std::chrono::seconds>(std::chrono::milliseconds(*timer.armedMs)));
      clock.pass(step);
      left -= step;
      scheduler.timerFired(kRefreshTimerId);
    }
    return runner.started.size() > before;
  }
  // Minutes until the next update starts by itself.
  int minutesToNext() {
    for (int minute = 1; minute <= 2 * kLongestInterval; ++minute)
      if (waitFor(60s)) return minute;
    return -1;
  }

  test::MemoryStore store;
  SettingsStore settings{store, "C:\\Pictures\\"};
  FakeClock clock;
  FakeTimer timer;
  FakeRunner runner;
  RecordingListener listener;
  FakeConditions conditions;
  Scheduler scheduler{clock, timer, runner, listener, settings, conditions};
};

TEST_F(SchedulerTest, FailuresRetrySoonAndNeverLaterThanTheInterval) {
  struct Case {
    std::int32_t interval;
    std::vector<OutcomeKind> outcomes;
    std::vector<int> waits;  // minutes to the next update after each outcome
  };
  const auto F = OutcomeKind::Failed, S = OutcomeKind::Updated, U = OutcomeKind::Unchanged;
  const Case cases[] = {
      {60, {F, F, F, F, F, F, F, F, S, F}, {1, 2, 4, 8, 16, 32, 60, 60, 60, 1}},
      {5, {F, F, F, F, F, U, F}, {1, 2, 4, 5, 5, 5, 1}},
      {1, {F, F, S}, {1, 1, 1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("interval " + std::to_string(c.interval));
    storeInterval(c.interval);
    RecordingListener freshListener;
    FakeRunner freshRunner;
    Scheduler fresh{clock, timer, freshRunner, freshListener, settings, conditions};
    fresh.startUp();
    for (std::size_t i = 0; i < c.outcomes.size(); ++i) {
      const std::uint64_t id = freshRunner.started.back().id;
      freshRunner.ended[id] = outcomeOf(c.outcomes[i]);
      fresh.workerDone(id);
      ASSERT_TRUE(fresh.nextUpdate());
      EXPECT_EQ(*fresh.nextUpdate() - clock.wall, c.waits[i] * 60) << "after outcome " << i;
      // The timer never waits more than a minute at a time, and starts nothing early.
      const std::size_t before = freshRunner.started.size();
      int minutes = 0;
      while (freshRunner.started.size() == before && minutes < 100) {
        ASSERT_TRUE(timer.armedMs);
        EXPECT_LE(*timer.armedMs, 60'000u);
        clock.pass(
            std::chrono::ceil<std::chrono::seconds>(std::chrono::milliseconds(*timer.armedMs)));
        fresh.timerFired(kRefreshTimerId);
        ++minutes;
      }
      EXPECT_EQ(minutes, c.waits[i]) << "after outcome " << i;
    }
  }
}

TEST_F(SchedulerTest, ReloadDuringAnUpdateStartsNoSecondOneAndResetsTheBackOff) {
  scheduler.startUp();
  scheduler.reload();
  EXPECT_EQ(runner.started.size(), 1u);
  for (int i = 0; i < 4; ++i) {
    finish(OutcomeKind::Failed);
    ASSERT_TRUE(waitFor(60min));
  }
  finish(OutcomeKind::Failed);
  scheduler.reload();
  finish(OutcomeKind::Failed);
  EXPECT_EQ(minutesToNext(), 1) << "Reload starts the back-off afresh";
}

TEST_F(SchedulerTest, SaveDuringAnUpdateCancelsItAndStartsAtOnceWithTheNewSettings) {
  scheduler.startUp();
  storeInterval(15);
  scheduler.settingsSaved();
  EXPECT_EQ(runner.cancelled, std::vector<std::uint64_t>{1});
  ASSERT_EQ(runner.started.size(), 2u);
  EXPECT_EQ(runner.started[1].settings.interval, 15);
  EXPECT_EQ(listener.events, (std::vector<std::string>{"update started", "update started"}));
  // The given-up update is logged once, when it says how it ended.
  runner.ended[1] = failedOutcome("h", cancelledFailure());
  scheduler.workerDone(1);
  EXPECT_TRUE(scheduler.running());
  EXPECT_EQ(listener.events.back(), "cancelled replaced by a newer update (log only)");
  EXPECT_EQ(listener.events.size(), 3u);

  finish(OutcomeKind::Updated);
  EXPECT_EQ(minutesToNext(), 15);
  // Saved while idle: at once, nothing to cancel.
  finish(OutcomeKind::Updated);
  scheduler.settingsSaved();
  EXPECT_EQ(runner.started.size(), 4u);
  EXPECT_EQ(runner.cancelled.size(), 1u);
}

// An update that had ended before Save or Exit (its message still queued) keeps its
// outcome: the record of its picture is stored and About hears of it.
TEST_F(SchedulerTest, AnUpdateThatEndedBeforeSaveOrExitKeepsItsOutcome) {
  for (const bool exit : {false, true}) {
    SCOPED_TRACE(exit ? "Exit" : "Save");
    test::MemoryStore freshStore;
    SettingsStore freshSettings{freshStore, "C:\\P\\"};
    RecordingListener freshListener;
    FakeRunner freshRunner;
    Scheduler fresh{clock, timer, freshRunner, freshListener, freshSettings, conditions};
    fresh.startUp();
    freshRunner.ended[1] = committed("http://a/", 1);  // ended; its message is on its way
    exit ? fresh.shutdown() : fresh.settingsSaved();
    EXPECT_FALSE(fresh.waitingForWorkers());
    EXPECT_EQ(freshListener.events[1], "updated (log only)");
    EXPECT_EQ(freshSettings.loadApplied().url, "http://a/");
    EXPECT_EQ(freshSettings.loadApplied().validators.etag, "\"http://a/\"");
  }
}

// Records are stored in the order of the commits, whichever outcome arrives first.
TEST_F(SchedulerTest, PictureRecordsFollowTheOrderOfTheCommits) {
  scheduler.startUp();
  scheduler.settingsSaved();  // 1 given up, 2 runs
  runner.ended[2] = committed("http://new/", 8);
  scheduler.workerDone(2);
  runner.ended[1] = committed("http://old/", 7);  // committed first, heard of last
  scheduler.workerDone(1);
  EXPECT_EQ(settings.loadApplied().url, "http://new/");
  EXPECT_EQ(listener.events.back(), "updated (log only)") << "its picture was shown for a moment";
  EXPECT_EQ(std::count(listener.events.begin(), listener.events.end(),
                       "cancelled replaced by a newer update (log only)"),
            0)
      << "one line for the update given up: what it did";
  // An unchanged picture's new validators count only from the update that is current.
  UpdateOutcome unchanged = outcomeOf(OutcomeKind::Unchanged);
  unchanged.applied = AppliedPicture{.url = "http://late/", .known = true, .appliedAt = 1};
  scheduler.reload();
  scheduler.settingsSaved();  // 3 given up
  runner.ended[3] = unchanged;
  scheduler.workerDone(3);
  EXPECT_EQ(settings.loadApplied().url, "http://new/");
}

// The records of the monitors' own pictures are kept as the common one is, also from an
// update that failed for one monitor, and go with the next update.
TEST_F(SchedulerTest, MonitorsOwnRecordsGoWithEachUpdate) {
  Settings chosen = settings.load();
  chosen.monitorSources["right"] = {"http://own/", "", DisplayMode::Fit};
  settings.save(chosen);
  scheduler.startUp();
  UpdateOutcome first = committed("http://common/", 1);
  first.kind = OutcomeKind::Failed;
  first.failure = Failure{FailureKind::HttpStatus, "monitor 1: HTTP 404 Not Found"};
  first.monitorsApplied["right"] =
      AppliedPicture{.url = "http://own/", .validators = {"\"o1\"", ""}, .known = true};
  finish(first);
  EXPECT_EQ(settings.loadApplied("right").validators.etag, "\"o1\"");
  scheduler.reload();
  EXPECT_EQ(runner.started.back().monitorsApplied.at("right").validators.etag, "\"o1\"");
  EXPECT_EQ(runner.started.back().applied.url, "http://common/");
}

// A server that holds back its answer is not waited out: at the time limit the update is
// given up and counts as a failure, whatever the worker does afterwards.
TEST_F(SchedulerTest, AnUpdateThatRunsTooLongIsGivenUpAsTimedOut) {
  scheduler.startUp();
  ASSERT_EQ(timer.deadlineMs, 300'000u);
  scheduler.timerFired(kDeadlineTimerId);
  EXPECT_FALSE(scheduler.running());
  EXPECT_EQ(runner.cancelled, std::vector<std::uint64_t>{1});
  EXPECT_EQ(listener.events.back(), "failed the download took longer than 5 minutes");
  EXPECT_EQ(listener.events.size(), 2u) << "no separate cancel";
  const std::size_t events = listener.events.size();
  runner.ended[1] = failedOutcome("h", cancelledFailure());
  scheduler.workerDone(1);
  EXPECT_EQ(listener.events.size(), events);
  EXPECT_EQ(minutesToNext(), 1);
  finish(OutcomeKind::Updated);
  EXPECT_FALSE(timer.deadlineMs) << "disarmed once the update ended";
}

TEST_F(SchedulerTest, ExitDuringAnUpdateCancelsItAndStartsNothingMore) {
  scheduler.startUp();
  scheduler.shutdown();
  EXPECT_EQ(runner.cancelled, std::vector<std::uint64_t>{1});
  EXPECT_FALSE(timer.armedMs);
  EXPECT_FALSE(timer.deadlineMs);
  EXPECT_FALSE(scheduler.running());
  EXPECT_EQ(listener.events.back(), "update started") << "logged once it is known how it ended";
  EXPECT_TRUE(scheduler.waitingForWorkers());
  scheduler.stopWaiting();
  EXPECT_FALSE(scheduler.waitingForWorkers());
  EXPECT_EQ(listener.events.back(), "cancelled cancelled (log only)");
  const std::size_t events = listener.events.size();
  // Whatever still arrives afterwards is ignored.
  runner.ended[1] = outcomeOf(OutcomeKind::Updated);
  scheduler.workerDone(1);
  scheduler.reload();
  scheduler.settingsSaved();
  scheduler.resumed();
  scheduler.screensChanged();
  scheduler.timerFired(kRefreshTimerId);
  scheduler.timerFired(kDeadlineTimerId);
  scheduler.shutdown();
  EXPECT_EQ(runner.started.size(), 1u);
  EXPECT_EQ(listener.events.size(), events);
}

// An update given up for a newer one that never says how it ended (a network call that
// goes on under Wine) is logged as given up within a minute or two, and only once.
TEST_F(SchedulerTest, AGivenUpUpdateThatNeverEndsIsLoggedOnce) {
  scheduler.startUp();
  scheduler.settingsSaved();
  finish(OutcomeKind::Updated);
  const auto cancelLines = [&] {
    return std::count(listener.events.begin(), listener.events.end(),
                      "cancelled replaced by a newer update (log only)");
  };
  scheduler.timerFired(kRefreshTimerId);
  EXPECT_EQ(cancelLines(), 0);
  clock.pass(61s);
  scheduler.timerFired(kRefreshTimerId);
  EXPECT_EQ(cancelLines(), 1);
  runner.ended[1] = failedOutcome("h", cancelledFailure());
  scheduler.workerDone(1);
  clock.pass(61s);
  scheduler.timerFired(kRefreshTimerId);
  EXPECT_EQ(cancelLines(), 1);
}

TEST_F(SchedulerTest, ResumeUpdatesOnceForBothMessages) {
  scheduler.startUp();
  scheduler.resumed();  // running: nothing more
  finish(OutcomeKind::Failed);
  scheduler.resumed();
  scheduler.resumed();  // the second message of the same wake-up
  EXPECT_EQ(runner.started.size(), 2u);
  finish(OutcomeKind::Failed);
  scheduler.resumed();  // still the same wake-up
  EXPECT_EQ(runner.started.size(), 2u);
  EXPECT_EQ(minutesToNext(), 1);

  finish(OutcomeKind::Updated);
  clock.pass(8h);  // the next night's sleep
  scheduler.resumed();
  EXPECT_EQ(runner.started.size(), 4u);
}

// After a wake-up: each case says when (seconds after it) the network, its cost and the
// server are back (-1: never), what the user sees (quiet failures show nothing) and when.
TEST_F(SchedulerTest, AfterAWakeUpFailuresAreQuietUntilTheNetworkHadItsChance) {
  const Failure down{FailureKind::Unreachable, "can't connect"};
  const struct {
    int networkAt, costAt, serverAt;
    Failure failure;
    std::vector<std::string> seen;
    int shownFrom, shownBy;
  } cases[] = {
      {20, 25, 60, down, {"updated"}, 60, 70},
      {0, 0, -1, down, {"failed can't connect"}, 120, 130},
      {-1, 0, 0, down, {"failed can't connect"}, 120, 125},  // the wait has a bound
      {0, 0, -1, {FailureKind::NotFound, "HTTP 404"}, {"failed HTTP 404"}, 0, 0},
      {0, -1, 0, down, {"skipped h connection cost unknown", "updated"}, 600, 660},
  };
  writeValue(store, ValueId::Url, "http://h/now.jpg");
  for (const auto& c : cases) {
    FakeConditions network;
    RecordingListener seen;
    FakeRunner worker;
    Scheduler fresh{clock, timer, worker, seen, settings, network};
    const auto backAt = [](int at, int t) { return at >= 0 && t >= at; };
    std::vector<std::string> shown;
    int t = 0, shownAt = -1;
    while (shownAt < 0 && t < 900) {
      network.connectedNow = backAt(c.networkAt, t);
      network.costNow = backAt(c.costAt, t) ? Cost::Free : Cost::Unknown;
      const std::size_t before = seen.events.size();
      if (t == 0 && before == 0) {
        fresh.resumed();
      } else if (fresh.running()) {
        const bool reachable = network.connectedNow && backAt(c.serverAt, t);
        worker.ended[worker.started.back().id] =
            reachable ? outcomeOf(OutcomeKind::Updated) : failedOutcome("h", c.failure);
        fresh.workerDone(worker.started.back().id);
      } else {
        ASSERT_TRUE(timer.armedMs);
        const int step = static_cast<int>(*timer.armedMs + 999) / 1000;
        clock.pass(std::chrono::seconds(step));
        t += step;
        fresh.timerFired(kRefreshTimerId);
      }
      for (std::size_t i = before; i < seen.events.size(); ++i) {
        const std::string& event = seen.events[i];
        if (event.rfind("held", 0) == 0 || event == "update started") continue;
        shown.push_back(event);
        if (event.rfind("skipped", 0) != 0) shownAt = t;
      }
    }
    EXPECT_EQ(shown, c.seen);
    EXPECT_GE(shownAt, c.shownFrom) << c.seen.back();
    EXPECT_LE(shownAt, c.shownBy) << c.seen.back();
  }
}

TEST_F(SchedulerTest, AnUpdateTheMachineSleptThroughStartsWithinAMinuteOfWaking) {
  scheduler.startUp();
  finish(OutcomeKind::Updated);
  ASSERT_TRUE(waitFor(30min) == false);
  // Asleep for three hours: the steady clock stood still, the wall clock did not.
  clock.wall += 3 * 3600;
  clock.steady += 1min;
  scheduler.timerFired(kRefreshTimerId);
  EXPECT_EQ(runner.started.size(), 2u);

  // A wall clock set back by a few seconds is no sleep.
  finish(OutcomeKind::Updated);
  clock.wall -= 30;
  EXPECT_FALSE(waitFor(59min));
  EXPECT_TRUE(waitFor(2min));
}

TEST_F(SchedulerTest, ScreenChangesRedrawWithoutMovingTheSchedule) {
  scheduler.startUp();
  scheduler.screensChanged();  // during the update: drawn again after it
  finish(OutcomeKind::Updated);
  ASSERT_EQ(runner.started.size(), 2u);
  EXPECT_TRUE(runner.started[1].redrawOnly);
  const std::optional<std::time_t> due = listener.nextUpdate;
  clock.pass(10min);
  finish(OutcomeKind::Failed);  // a failed redraw is no failed update
  EXPECT_EQ(scheduler.nextUpdate(), due);
  EXPECT_EQ(minutesToNext(), 50);
}

// Stepping back draws a history entry and pauses; every redraw then draws that entry, and
// Resume or Reload bring the newest picture back and the updates with it.
TEST_F(SchedulerTest, AnEntryFromTheHistoryIsShownUntilResumeOrReload) {
  scheduler.startUp();
  scheduler.showKept("C:\\Pictures\\history\\2026-12-08 140509\\");  // gives up the update
  ASSERT_EQ(runner.started.size(), 2u);
  EXPECT_EQ(runner.cancelled, std::vector<std::uint64_t>{1});
  EXPECT_TRUE(runner.started[1].redrawOnly);
  EXPECT_EQ(runner.started[1].drawFrom, "C:\\Pictures\\history\\2026-12-08 140509\\");
  EXPECT_EQ(scheduler.pausedUntil(), kPausedUntilResumed);
  finish(OutcomeKind::Updated);
  EXPECT_FALSE(waitFor(180min)) << "no automatic update while an earlier picture is shown";
  scheduler.screensChanged();
  EXPECT_EQ(runner.started.back().drawFrom, scheduler.shownKept()) << "drawn again: the entry";
  finish(OutcomeKind::Updated);

  scheduler.resumeUpdates();
  EXPECT_TRUE(runner.started.back().redrawOnly);
  EXPECT_EQ(runner.started.back().drawFrom, "") << "the newest picture, drawn at once";
  EXPECT_FALSE(scheduler.pausedUntil());
  finish(OutcomeKind::Updated);
  EXPECT_TRUE(waitFor(1min)) << "the update that was due during the pause follows";
  EXPECT_FALSE(runner.started.back().redrawOnly);
  finish(OutcomeKind::Updated);

  scheduler.showKept("C:\\Pictures\\history\\2026-12-08 130000\\");
  finish(OutcomeKind::Updated);
  scheduler.reload();
  EXPECT_FALSE(runner.started.back().redrawOnly);
  EXPECT_EQ(scheduler.shownKept(), "");
  EXPECT_FALSE(scheduler.pausedUntil()) << "Reload goes back to the newest and resumes";
}

// The history keeps what reached the desktop and the picture folder: new pictures only,
// each once, in the order of the commits.
TEST_F(SchedulerTest, NewPicturesAreHandedOnInTheOrderOfTheCommits) {
  std::vector<std::string> handedOn;
  scheduler.onNewPictures([&](const UpdateRequest& request, const UpdateOutcome& outcome) {
    handedOn.push_back(outcome.applied->url + " of update " + std::to_string(request.id));
  });
  const auto newPictures = [](const std::string& url, std::uint64_t commit) {
    UpdateOutcome outcome = committed(url, commit);
    outcome.newPicture = true;
    return outcome;
  };
  scheduler.startUp();
  finish(newPictures("http://first/", 1));
  scheduler.screensChanged();
  finish(committed("http://first/", 2));  // drawn again: nothing new
  scheduler.reload();
  scheduler.settingsSaved();  // update 3 given up, 4 runs
  runner.ended[4] = newPictures("http://new/", 4);
  scheduler.workerDone(4);
  runner.ended[3] = newPictures("http://old/", 3);  // committed before, heard of after
  scheduler.workerDone(3);
  EXPECT_EQ(handedOn,
            (std::vector<std::string>{"http://first/ of update 1", "http://new/ of update 4"}));
}

// The one rule for what waits: metered or not, battery saver or not, the box ticked or
// not, paused or not, against what asked for the update.
TEST(HoldRule, WhatWaitsAndWhy) {
  struct Case {
    bool byUser, paused, metered, saver, allowed;
    Hold hold;
  } const cases[] = {
      {false, false, false, false, false, Hold::None},
      {false, false, true, false, false, Hold::Metered},
      {false, false, false, true, false, Hold::BatterySaver},
      {false, false, true, true, false, Hold::Metered},
      {false, false, true, true, true, Hold::None},
      {false, true, false, false, false, Hold::Paused},
      {false, true, true, false, true, Hold::Paused},
      {true, true, true, true, false, Hold::None},  // Reload and Save always run
      {true, false, true, false, false, Hold::None},
  };
  for (const Case& c : cases)
    EXPECT_EQ(
        holdFor(c.byUser, c.paused, c.metered ? Cost::Metered : Cost::Free, c.saver, c.allowed),
        c.hold)
        << c.byUser << c.paused << c.metered << c.saver << c.allowed;
  // A cost not known yet might be metered.
  EXPECT_EQ(holdFor(false, false, Cost::Unknown, false, false), Hold::CostUnknown);
  EXPECT_EQ(holdFor(false, false, Cost::Unknown, false, true), Hold::None);
}

// The rule in the schedule: a held update is logged once as skipped, looked at every
// minute, and runs within a minute of the hold ending; Reload runs whatever holds.
TEST_F(SchedulerTest, HeldUpdatesWaitAndStartOnceFree) {
  writeValue(store, ValueId::Url, "http://pictures.example/now.jpg");
  conditions.costNow = Cost::Metered;
  scheduler.startUp();
  EXPECT_TRUE(runner.started.empty());
  EXPECT_EQ(listener.events.back(), "skipped pictures.example metered connection");
  EXPECT_EQ(timer.armedMs, 60'000u);
  clock.pass(60s);
  scheduler.timerFired(kRefreshTimerId);
  EXPECT_EQ(listener.events.back(), "held pictures.example metered connection")
      << "logged once, not every minute";
  conditions.costNow = Cost::Free;
  conditions.saverNow = true;
  clock.pass(60s);
  scheduler.timerFired(kRefreshTimerId);
  EXPECT_EQ(listener.events.back(), "skipped pictures.example battery saver");
  scheduler.reload();
  ASSERT_EQ(runner.started.size(), 1u) << "Reload always updates";
  finish(OutcomeKind::Updated);
  conditions.saverNow = false;
  EXPECT_EQ(minutesToNext(), 60);

  // The box ticked: nothing waits for the connection.
  writeValue(store, ValueId::Metered, 1u);
  conditions.costNow = Cost::Metered;
  finish(OutcomeKind::Updated);
  EXPECT_EQ(minutesToNext(), 60);
}

// A pause holds the automatic updates until its end or Resume, survives a restart, and
// Reload still updates.
TEST_F(SchedulerTest, PausesEndByThemselvesOrByResume) {
  scheduler.startUp();
  finish(OutcomeKind::Updated);
  scheduler.pause(clock.wall + 90 * 60);
  EXPECT_EQ(scheduler.pausedUntil(), clock.wall + 90 * 60);
  EXPECT_EQ(minutesToNext(), 90) << "due after 60, held until the pause ends";
  EXPECT_FALSE(scheduler.pausedUntil());
  finish(OutcomeKind::Updated);

  scheduler.pause(kPausedUntilResumed);
  EXPECT_FALSE(waitFor(180min));
  RecordingListener restartedListener;
  FakeRunner restartedRunner;
  Scheduler restarted{clock, timer, restartedRunner, restartedListener, settings, conditions};
  restarted.startUp();
  EXPECT_TRUE(restartedRunner.started.empty()) << "the pause survives a restart";
  EXPECT_EQ(restartedListener.events.back(), "held www.weather.gov paused");
  restarted.reload();
  EXPECT_EQ(restartedRunner.started.size(), 1u) << "Reload updates while paused";
  restartedRunner.ended[1] = outcomeOf(OutcomeKind::Updated);
  restarted.workerDone(1);
  EXPECT_EQ(restartedListener.events.back(), "held  paused") << "the tip still says so";

  scheduler.resumeUpdates();
  EXPECT_EQ(runner.started.size(), 3u) << "a due update starts at once on Resume";
  EXPECT_FALSE(settings.pausedUntil());
}

TEST(NextMorning, SixOClockLocalTimeAcrossDaylightSaving) {
  struct Case {
    std::time_t now;
    std::time_t morning;
  } const cases[] = {
      {1'796'652'309, 1'796'706'000},  // 2026-12-07 15:05 CET: 2026-12-08 06:00 CET
      {1'796'698'800, 1'796'706'000},  // 2026-12-08 04:00 CET: the same morning
      {1'796'706'000, 1'796'792'400},  // 06:00 itself: the next one
      {1'806'192'000, 1'806'206'400},  // 2027-03-28 01:00 CET: 06:00 CEST, 4 hours later
      {1'824'872'400, 1'824'958'800},  // 2027-10-30 07:00 CEST: 06:00 CET, 24 hours later
  };
  for (const Case& c : cases) EXPECT_EQ(nextMorning(c.now, test::berlin), c.morning) << c.now;
}

TEST(RetryDelay, DoublesUpToTheInterval) {
  const std::int32_t interval = kLongestInterval;
  EXPECT_EQ(Scheduler::retryDelay(0, interval), std::chrono::minutes(interval));
  EXPECT_EQ(Scheduler::retryDelay(1, interval), 1min);
  EXPECT_EQ(Scheduler::retryDelay(16, interval), std::chrono::minutes(32'768));
  EXPECT_EQ(Scheduler::retryDelay(17, interval), std::chrono::minutes(interval));
  EXPECT_EQ(Scheduler::retryDelay(1'000'000, interval), std::chrono::minutes(interval));
}

}  // namespace
}  // namespace tessaren
