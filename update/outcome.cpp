// The words for an update's outcome.
#include "update/outcome.h"

#include <cstdio>

#include "platform/text.h"
#include "update/clock.h"

namespace tessaren {
namespace {

// Bounds that keep one log line readable and a tip within its 128 characters.
constexpr std::size_t kLongestReason = 300;
constexpr std::size_t kLongestHost = 100;

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

std::string originText(const UpdateOutcome& outcome) {
  if (outcome.origin.empty()) return "";
  return ", " + displaySafe(outcome.origin, 100) + ": " + displaySafe(outcome.pictureUrl, 200);
}

UpdateOutcome failedOutcome(std::string host, Failure failure) {
  UpdateOutcome outcome;
  outcome.kind = OutcomeKind::Failed;
  outcome.host = std::move(host);
  outcome.failure = std::move(failure);
  return outcome;
}

bool wasCancelled(const UpdateOutcome& outcome) {
  return outcome.kind == OutcomeKind::Failed && outcome.failure &&
         outcome.failure->kind == FailureKind::Cancelled;
}

std::string kindWord(const UpdateOutcome& outcome) {
  switch (outcome.kind) {
    case OutcomeKind::Updated:
      return "updated";
    case OutcomeKind::Unchanged:
      return "unchanged";
    case OutcomeKind::Failed:
      break;
  }
  return wasCancelled(outcome) ? "cancelled" : "failed";
}

std::string pictureSizeText(const UpdateOutcome& outcome) {
  const std::string format = outcome.format.empty() ? "" : " " + outcome.format;
  const std::string whole = std::to_string(outcome.width) + " x " + std::to_string(outcome.height);
  if (outcome.columns <= 0 || outcome.rows <= 0) return whole + format;
  return std::to_string(outcome.columns) + " x " + std::to_string(outcome.rows) + " tiles of " +
         std::to_string(outcome.width / outcome.columns) + " x " +
         std::to_string(outcome.height / outcome.rows) + format + ", " + whole;
}

std::string reasonText(const UpdateOutcome& outcome) {
  return outcome.failure ? displaySafe(outcome.failure->detail, kLongestReason) : "";
}

std::string logLine(const UpdateOutcome& outcome, std::time_t when, std::time_t changedAt) {
  std::string reason;
  switch (outcome.kind) {
    case OutcomeKind::Updated:
      reason = pictureSizeText(outcome) + ", " +
               (outcome.detail.empty() ? formatSize(outcome.bytes) : outcome.detail) + " in " +
               seconds(outcome.seconds) + originText(outcome);
      break;
    case OutcomeKind::Unchanged:
      reason = trimmed(sinceText(changedAt, when) + " (" + outcome.detail + ")");
      break;
    case OutcomeKind::Failed:
      reason = reasonText(outcome);
      break;
  }
  return logLineOf(when, kindWord(outcome), outcome.host, reason);
}

std::string logLineOf(std::time_t when, const std::string& kind, const std::string& host,
                      const std::string& reason) {
  const std::string shownHost = displaySafe(host, kLongestHost);
  return logTimeText(when) + "\t" + kind + "\t" + (shownHost.empty() ? "-" : shownHost) + "\t" +
         displaySafe(reason, kLongestReason);
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
  return reasonText(outcome) + (nextTry ? ", next try " + clockText(*nextTry, when) : "");
}

}  // namespace tessaren
