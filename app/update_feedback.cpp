// The tray, the log and the About box's state after each update.
#include "app/update_feedback.h"

#include "platform/text.h"
#include "tray/tray_icon.h"
#include "update/update_log.h"

namespace tessaren {

UpdateFeedback::UpdateFeedback(Clock& clock, std::string logPath)
    : clock_(clock), logPath_(std::move(logPath)) {}

std::string tipText(const std::string& firstLine, const std::string& detail) {
  const std::string whole = firstLine + "\n" + detail;
  if (whole.size() < kTipCapacity) return whole;
  return utf8Prefix(whole, kTipCapacity - 4) + "...";
}

void UpdateFeedback::updateStarted(const UpdateRequest&) {
  // The picture changes before the tip.
  trayIcon().setState(IconState::Loading);
  trayIcon().setTip(kTipLoading);
}

void UpdateFeedback::updateFinished(const UpdateRequest& request, const UpdateOutcome& outcome,
                                    std::optional<std::time_t> nextUpdate, bool shown) {
  const std::time_t now = clock_.wallNow();
  if (outcome.applied) saveAppliedPicture(*outcome.applied);
  const std::time_t changedAt =
      outcome.applied ? outcome.applied->appliedAt : request.applied.appliedAt;
  if (appendLogLine(logPath_, logLine(outcome, now, changedAt))) ++linesLogged_;

  UpdateRecord record{now,           outcome.host,
                      outcome.width, outcome.height,
                      outcome.bytes, outcome.kind == OutcomeKind::Unchanged,
                      outcome.reason};
  if (outcome.kind == OutcomeKind::Failed) {
    lastFailure_ = record;
  } else {
    // An unchanged picture is still the one of the last success: keep what we knew of it.
    if (record.unchanged && lastSuccess_ && lastSuccess_->host == record.host) {
      record.width = lastSuccess_->width;
      record.height = lastSuccess_->height;
      record.bytes = lastSuccess_->bytes;
    }
    lastSuccess_ = record;
  }
  if (!shown) return;

  // At the end the tip changes before the picture.
  const std::string detail = tipDetail(outcome, now, changedAt, nextUpdate);
  if (outcome.kind == OutcomeKind::Failed) {
    trayIcon().setTip(tipText(kTipError, detail));
    trayIcon().setState(IconState::Error);
  } else {
    trayIcon().setTip(tipText(kTipIdle, detail));
    trayIcon().setState(IconState::Ready);
  }
}

std::string lastUpdateLine(const std::optional<UpdateRecord>& success, std::time_t now) {
  if (!success) return "Last update: none yet";
  std::string line = "Last update: " + clockText(success->when, now) + " from " + success->host;
  if (success->width > 0)
    line += ", " + std::to_string(success->width) + " x " + std::to_string(success->height);
  if (success->bytes > 0) line += ", " + formatSize(success->bytes);
  if (success->unchanged) line += " (unchanged)";
  return line;
}

std::string lastFailureLine(const std::optional<UpdateRecord>& failure, std::time_t now) {
  if (!failure) return "Last failure: none";
  return "Last failure: " + clockText(failure->when, now) + ", " + failure->reason;
}

std::string nextUpdateLine(std::optional<std::time_t> next, bool running, std::time_t now) {
  if (running) return "Next update: running now";
  if (!next) return "Next update: not planned";
  return "Next update: " + clockText(*next, now);
}

}  // namespace tessaren
