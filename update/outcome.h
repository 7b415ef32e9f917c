// What one update did, as a kind and the details behind it, and the words that the tray
// tip, the log and the About box use for it.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "settings/settings_store.h"

namespace tessaren {

enum class OutcomeKind { Updated, Unchanged, Failed };

inline const std::string kCancelledReason = "cancelled";

struct UpdateOutcome {
  OutcomeKind kind = OutcomeKind::Failed;
  std::string host;    // the server asked; empty when there was none to ask
  std::string reason;  // Failed: why, in words a user can act on
  // Unchanged: how we know ("not modified": the server said so; "same picture": the
  // same bytes came again). Updated: "redrawn" when drawn again from the kept picture.
  std::string detail;
  std::int32_t width = 0;  // the picture, once decoded
  std::int32_t height = 0;
  std::uint64_t bytes = 0;  // the downloaded file
  double seconds = 0;       // the whole update
  // What to remember about the picture now on the desktop, when it changed.
  std::optional<AppliedPicture> applied;
};

UpdateOutcome failedOutcome(std::string host, std::string reason);
bool isCancelled(const UpdateOutcome& outcome);
// The update's result as the refresh cycle has always counted it: 0 when the wallpaper
// is up to date (updated or unchanged), 1 when the update failed.
std::int32_t resultCodeOf(const UpdateOutcome& outcome);

// "updated", "unchanged" or "failed".
std::string kindWord(OutcomeKind kind);

// The log line without its end: local time, tab, kind, tab, host, tab, reason.
// changedAt is when the picture on the desktop last changed (0: unknown).
std::string logLine(const UpdateOutcome& outcome, std::time_t when, std::time_t changedAt);

// The tip's second line: "updated 14:05", "unchanged since 13:05, checked 14:05",
// "HTTP 404 Not Found, next try 14:07".
std::string tipDetail(const UpdateOutcome& outcome, std::time_t when, std::time_t changedAt,
                      std::optional<std::time_t> nextTry);

}  // namespace tessaren
