// The first minutes after the computer wakes, as automatic updates see them. Windows says
// a resume on every wake-up, before the Wi-Fi is back and whether or not anyone is there:
// for a while an automatic update waits for the network (within a bound), a failure the
// returning network may mend is retried quietly and often, and only when that time has
// passed without success does a failure count as one. A connection cost that cannot be
// read yet holds an update the metered setting might forbid, also within a bound.
#pragma once

#include <chrono>
#include <optional>

#include "platform/failure.h"
#include "update/clock.h"
#include "update/conditions.h"

namespace tessaren {

// How long after a resume failures are quiet and the network is waited for.
constexpr std::chrono::seconds kWakeUpSettle{120};
// How often the network is looked at meanwhile, and how soon a quiet failure is retried.
constexpr std::chrono::seconds kNetworkPoll{5};
constexpr std::chrono::seconds kQuietRetry{10};
// A cost unknown for this long is taken as unmetered, as it was before a cost could be
// unknown: a connection that never says its cost must not stop the updates for good.
constexpr std::chrono::minutes kUnknownCostWait{10};

// A failure that the network coming back may mend: no connection yet, no answer in time,
// a broken or intercepted connection, a gateway's error.
bool networkMayMend(FailureKind kind);

class WakeUp {
 public:
  // The computer woke (a resume message, or the wall clock far ahead of the schedule).
  void woke(SteadyTime now) { settleUntil_ = now + kWakeUpSettle; }
  // The user asked for an update: from now on its outcome is shown as it is.
  void userAsked() { settleUntil_.reset(); }
  bool settling(SteadyTime now) const { return settleUntil_ && now < *settleUntil_; }
  // An automatic update that is due waits: the network is not back yet.
  bool waitForNetwork(SteadyTime now, bool connected) const { return settling(now) && !connected; }
  // The cost as the hold rule takes it: Unknown until it has been so for kUnknownCostWait.
  Cost costToHonour(SteadyTime now, Cost cost);
  // A failed automatic update, begun while settling, is retried quietly.
  bool quiet(SteadyTime now, FailureKind kind) const {
    return settling(now) && networkMayMend(kind);
  }

 private:
  std::optional<SteadyTime> settleUntil_;
  std::optional<SteadyTime> unknownSince_;
};

}  // namespace tessaren
