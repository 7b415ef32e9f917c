// What one update did, as a kind and the details behind it, and the words that the tray
// tip, the log and the About box use for it.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/failure.h"
#include "settings/applied_picture.h"

namespace tessaren {

enum class OutcomeKind { Updated, Unchanged, Failed };

struct UpdateOutcome {
  OutcomeKind kind = OutcomeKind::Failed;
  std::optional<Failure> failure;  // Failed: why; its kind decides what happens next
  std::string host;                // the server asked; empty when there was none to ask
  // Unchanged: how we know ("not modified": the server said so; "same picture": the same
  // bytes came again). Updated: "redrawn" when drawn again from the kept picture.
  std::string detail;
  std::int32_t width = 0;  // the picture, once decoded
  std::int32_t height = 0;
  std::string format;  // "JPEG", "PNG", ... (a picture in tiles: its tiles')
  // A picture in tiles: the grid's columns and rows (width and height are the whole's).
  std::int32_t columns = 0;
  std::int32_t rows = 0;
  // Where the picture came from when the address was no picture: "og:image", "feed item
  // "Sunrise"", "JSON pointer /images/0/url", "dated address, 1 step back"; and the
  // picture's own address then.
  std::string origin;
  std::string pictureUrl;
  std::uint64_t bytes = 0;  // the downloaded file
  double seconds = 0;       // the whole update
  // What to remember about the picture now on the desktop, when it changed.
  std::optional<AppliedPicture> applied;
  // The order of the commit that put it on the desktop (0: nothing was committed), so
  // that the record of an older commit never overwrites that of a newer one.
  std::uint64_t commit = 0;

  // A wallpaper drawn from several pictures: what became of each, in the order they were
  // fetched, with the monitors it is for in its shownOn ("monitor 2"); empty for one picture.
  std::vector<UpdateOutcome> sources;
  std::string shownOn;
  // The records of the monitors' own pictures to keep, by the monitor's key name.
  std::map<std::string, AppliedPicture> monitorsApplied;
  // The committed pictures are new ones, now in the picture folder: the history keeps them.
  bool newPicture = false;
};

UpdateOutcome failedOutcome(std::string host, Failure failure);
// Stopped by the user (Save or Exit): logged, never shown as a failure.
bool wasCancelled(const UpdateOutcome& outcome);

// "updated", "unchanged", "failed" or "cancelled".
std::string kindWord(const UpdateOutcome& outcome);

// A log line without its end: local time, tab, kind, tab, host ("-" for none), tab,
// reason. The host and the reason are made safe first, so a line always has exactly four
// fields: "2026-12-08 14:05:09\tskipped\tcdn.example\tmetered connection".
std::string logLineOf(std::time_t when, const std::string& kind, const std::string& host,
                      const std::string& reason);

// The update's log line. changedAt is when the picture on the desktop last changed (0:
// unknown).
std::string logLine(const UpdateOutcome& outcome, std::time_t when, std::time_t changedAt);

// The update's log lines: one, or one for each picture of a set, saying which monitors it
// is for ("..., for monitor 2").
std::vector<std::string> logLines(const UpdateOutcome& outcome, std::time_t when,
                                  std::time_t changedAt);

// "2 of 2 pictures updated" for a set; empty for one picture.
std::string sourcesSummary(const UpdateOutcome& outcome);

// The tip's second line: "updated 14:05", "unchanged since 13:05, checked 14:05",
// "HTTP 404 Not Found, next try 14:07".
std::string tipDetail(const UpdateOutcome& outcome, std::time_t when, std::time_t changedAt,
                      std::optional<std::time_t> nextTry);

// ", og:image: https://cdn.example/x.jpg" where the picture came from a page, a feed, a
// document or a dated address; empty otherwise.
std::string originText(const UpdateOutcome& outcome);

// "1920 x 1080 JPEG"; for a picture in tiles "4 x 4 tiles of 550 x 550 PNG, 2200 x 2200".
std::string pictureSizeText(const UpdateOutcome& outcome);

// The failure's words as shown: safe and bounded.
std::string reasonText(const UpdateOutcome& outcome);

}  // namespace tessaren
