// The tray, the log and the About box's state after each update.
#include "app/update_feedback.h"

#include <cstdio>

#include "platform/text.h"
#include "update/history.h"

namespace tessaren {

UpdateFeedback::UpdateFeedback(Clock& clock, TrayIcon& tray, UpdateLog& log)
    : clock_(clock), tray_(tray), log_(log) {}

std::string tipText(const std::string& firstLine, const std::string& detail) {
  const std::string whole = firstLine + "\n" + detail;
  if (whole.size() < kTipCapacity) return whole;
  return utf8Prefix(whole, kTipCapacity - 4) + "...";
}

void UpdateFeedback::updateStarted(const UpdateRequest&) {
  // The picture changes before the tip.
  tray_.setState(IconState::Loading);
  tray_.setTip(kTipLoading);
}

void UpdateFeedback::updateFinished(const UpdateRequest& request, const UpdateOutcome& outcome,
                                    std::optional<std::time_t> nextUpdate, bool shown) {
  const std::time_t now = clock_.wallNow();
  if (!request.drawFrom.empty() && outcome.kind == OutcomeKind::Updated) {
    // A picture from the history is no update: it has a line of its own and leaves the
    // About box's record as it was.
    showingKept_ = entryTimeText(entryNameOf(request.drawFrom), now);
    log_.append(logLineOf(now, "shown", "",
                          "the picture of " + showingKept_ +
                              " from the history: " + std::to_string(outcome.width) + " x " +
                              std::to_string(outcome.height) + " " + outcome.format));
    if (!shown) return;
    tray_.setTip(tipText(kTipIdle, showingKeptText(showingKept_)));
    tray_.setState(IconState::Ready);
    return;
  }
  if (outcome.commit > 0) showingKept_.clear();
  const std::time_t changedAt =
      outcome.applied ? outcome.applied->appliedAt : request.applied.appliedAt;
  for (const std::string& line : logLines(outcome, now, changedAt)) log_.append(line);

  // A cancel is the user's own doing: neither a failure nor news.
  if (wasCancelled(outcome)) return;
  UpdateRecord record{now,
                      displaySafe(outcome.host, 100),
                      outcome.width,
                      outcome.height,
                      outcome.format,
                      outcome.bytes,
                      outcome.kind == OutcomeKind::Unchanged,
                      reasonText(outcome),
                      displaySafe(outcome.pictureUrl, 200),
                      displaySafe(outcome.origin, 100),
                      sourcesSummary(outcome)};
  lastFailed_ = outcome.kind == OutcomeKind::Failed;
  if (outcome.kind == OutcomeKind::Failed) {
    lastFailure_ = record;
  } else {
    // An unchanged picture is still the one of the last success: keep what we knew of it.
    if (record.unchanged && lastSuccess_ && lastSuccess_->host == record.host) {
      record.width = lastSuccess_->width;
      record.height = lastSuccess_->height;
      record.format = lastSuccess_->format;
      record.bytes = lastSuccess_->bytes;
      if (record.pictureUrl.empty()) record.pictureUrl = lastSuccess_->pictureUrl;
      if (record.origin.empty()) record.origin = lastSuccess_->origin;
    }
    lastSuccess_ = record;
  }
  if (!shown) return;

  // At the end the tip changes before the picture.
  const std::string detail = tipDetail(outcome, now, changedAt, nextUpdate);
  if (outcome.kind == OutcomeKind::Failed) {
    tray_.setTip(tipText(kTipError, detail));
    tray_.setState(IconState::Error);
  } else {
    tray_.setTip(tipText(kTipIdle, detail));
    tray_.setState(IconState::Ready);
  }
}

void UpdateFeedback::updateHeld(Hold hold, const std::string& host, bool logged,
                                std::optional<std::time_t> nextTry,
                                std::optional<std::time_t> until) {
  const std::time_t now = clock_.wallNow();
  if (logged) log_.append(logLineOf(now, "skipped", host, holdWord(hold)));
  std::string detail;
  if (hold == Hold::Paused) {
    detail = showingKept_.empty() ? pausedText(until.value_or(kPausedUntilResumed), now)
                                  : showingKeptText(showingKept_);
  } else if (hold != Hold::None) {
    detail = holdWord(hold) + (nextTry ? ", next try " + clockText(*nextTry, now) : "");
  } else if (nextTry) {
    detail = "next update " + clockText(*nextTry, now);
  }
  tray_.setTip(tipText(kTipIdle, detail));
  tray_.setState(IconState::Ready);
}

std::string UpdateFeedback::statusText(std::optional<std::time_t> next, bool running,
                                       std::optional<std::time_t> paused) const {
  const std::time_t now = clock_.wallNow();
  const std::string tip = tray_.tip();
  std::string result;
  if (lastFailed_ && lastFailure_) {
    result = "Last update: " + clockText(lastFailure_->when, now) +
             (lastFailure_->host.empty() ? "" : " from " + lastFailure_->host) +
             ", failed: " + lastFailure_->reason;
  } else {
    result = lastUpdateLine(lastSuccess_, now);
  }
  // While the user steps back, the tip's second line (which this does not print) says which
  // picture is shown: the pause line says it too.
  const std::string shown =
      !showingKept_.empty() && paused && !running ? ", showing the picture of " + showingKept_ : "";
  return tip.substr(0, tip.find('\n')) + "\n" + result + "\n" +
         nextUpdateLine(next, running, paused, now) + shown + "\n";
}

std::string showingKeptText(const std::string& appliedAt) {
  return "showing the picture of " + appliedAt + "; updates paused";
}

std::string pausedText(std::time_t until, std::time_t now) {
  return until == kPausedUntilResumed ? "paused" : "paused until " + clockText(until, now);
}

std::string asSentence(std::string fragment) {
  if (fragment.empty()) return fragment;
  if (fragment.front() >= 'a' && fragment.front() <= 'z')
    fragment.front() = static_cast<char>(fragment.front() - 'a' + 'A');
  const char last = fragment.back();
  if (last != '.' && last != '!' && last != '?') fragment += '.';
  return fragment;
}

std::string pauseUntilMorningLabel(std::time_t now, const UtcOffsetAt& offsetAt) {
  const std::time_t until = nextMorning(now, offsetAt);
  const std::tm day = localTime(until, offsetAt);
  const std::tm today = localTime(now, offsetAt);
  // The hour as the clock shows it: after a skipped 06:00, the first hour after the jump.
  char time[8] = {};
  std::snprintf(time, sizeof time, "%02d:%02d", day.tm_hour, day.tm_min);
  const bool sameDay = day.tm_year == today.tm_year && day.tm_yday == today.tm_yday;
  return (sameDay ? "Until " : "Until tomorrow, ") + std::string(time);
}

std::string checkResultText(const UpdateOutcome& outcome) {
  if (outcome.kind == OutcomeKind::Failed) return asSentence(reasonText(outcome));
  std::string text = "Found " + displaySafe(outcome.pictureUrl, 160);
  if (!outcome.origin.empty()) text += " (" + displaySafe(outcome.origin, 60) + ")";
  return text + ": " + pictureSizeText(outcome) + ", " + formatSize(outcome.bytes) + ".";
}

std::string lastUpdateLine(const std::optional<UpdateRecord>& success, std::time_t now) {
  if (!success) return "Last update: none yet";
  std::string line = "Last update: " + clockText(success->when, now) + " from " + success->host;
  if (success->width > 0)
    line += ", " + std::to_string(success->width) + " x " + std::to_string(success->height);
  if (!success->format.empty()) line += (success->width > 0 ? " " : ", ") + success->format;
  if (success->bytes > 0) line += ", " + formatSize(success->bytes);
  if (success->unchanged) line += " (unchanged)";
  if (!success->sources.empty()) line += "; " + success->sources;
  return line;
}

std::string pictureLine(const std::optional<UpdateRecord>& success) {
  if (!success || success->pictureUrl.empty()) return "";
  return "Picture: " + success->pictureUrl +
         (success->origin.empty() ? "" : " (" + success->origin + ")");
}

std::string lastFailureLine(const std::optional<UpdateRecord>& failure, std::time_t now) {
  if (!failure) return "Last failure: none";
  return "Last failure: " + clockText(failure->when, now) + ", " + failure->reason;
}

std::string nextUpdateLine(std::optional<std::time_t> next, bool running,
                           std::optional<std::time_t> paused, std::time_t now) {
  if (running) return "Next update: running now";
  if (paused) return "Next update: " + pausedText(*paused, now);
  if (!next) return "Next update: not planned";
  return "Next update: " + clockText(*next, now);
}

}  // namespace tessaren
