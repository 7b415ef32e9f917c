// The words for an update's outcome.
#include "update/outcome.h"

#include <cstdio>

#include "platform/text.h"
#include "update/clock.h"

namespace tessaren {
namespace {

// "0.8 s"; below a tenth, "0.03 s" rather than a bare "0.0 s".
std::string seconds(double value) {
  char text[16];
  std::snprintf(text, sizeof text, value < 0.095 ? "%.2f s" : "%.1f s", value);
  return text;
}

std::string sinceText(std::time_t changedAt, std::time_t when) {
  return changedAt > 0 ? " since " + clockText(changedAt, when) : "";
}

}  // namespace

UpdateOutcome failedOutcome(std::string host, std::string reason) {
  UpdateOutcome outcome;
  outcome.kind = OutcomeKind::Failed;
  outcome.host = std::move(host);
  outcome.reason = std::move(reason);
  return outcome;
}

bool isCancelled(const UpdateOutcome& outcome) {
  return outcome.kind == OutcomeKind::Failed && outcome.reason == kCancelledReason;
}

std::int32_t resultCodeOf(const UpdateOutcome& outcome) {
  return outcome.kind == OutcomeKind::Failed ? 1 : 0;
}

std::string kindWord(OutcomeKind kind) {
  switch (kind) {
    case OutcomeKind::Updated:
      return "updated";
    case OutcomeKind::Unchanged:
      return "unchanged";
    case OutcomeKind::Failed:
      break;
  }
  return "failed";
}

std::string logLine(const UpdateOutcome& outcome, std::time_t when, std::time_t changedAt) {
  std::string reason;
  switch (outcome.kind) {
    case OutcomeKind::Updated:
      reason = std::to_string(outcome.width) + " x " + std::to_string(outcome.height) + ", " +
               (outcome.detail.empty() ? formatSize(outcome.bytes) : outcome.detail) + " in " +
               seconds(outcome.seconds);
      break;
    case OutcomeKind::Unchanged:
      reason = trimmed(sinceText(changedAt, when) + " (" + outcome.detail + ")");
      break;
    case OutcomeKind::Failed:
      reason = outcome.reason;
      break;
  }
  const std::string host = outcome.host.empty() ? "-" : outcome.host;
  return logTimeText(when) + "\t" + kindWord(outcome.kind) + "\t" + host + "\t" + reason;
}

std::string tipDetail(const UpdateOutcome& outcome, std::time_t when, std::time_t changedAt,
                      std::optional<std::time_t> nextTry) {
  switch (outcome.kind) {
    case OutcomeKind::Updated:
      return "updated " + clockText(when, when);
    case OutcomeKind::Unchanged:
      return "unchanged" + sinceText(changedAt, when) + ", checked " + clockText(when, when);
    case OutcomeKind::Failed:
      break;
  }
  return outcome.reason + (nextTry ? ", next try " + clockText(*nextTry, when) : "");
}

}  // namespace tessaren
