// What the user learns of each update: the tray icon's picture and tip, one line in the
// log, and the state the About box shows. GUI thread only.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "tray/tray_icon.h"
#include "update/scheduler.h"
#include "update/update_log.h"

namespace tessaren {

struct UpdateRecord {
  std::time_t when = 0;
  std::string host;
  std::int32_t width = 0;  // 0 when not known (an unchanged picture since start-up)
  std::int32_t height = 0;
  std::string format;
  std::uint64_t bytes = 0;
  bool unchanged = false;
  std::string reason;      // failures only
  std::string pictureUrl;  // the picture's own address
  std::string origin;      // where it came from, when the address was no picture
  std::string sources;     // "2 of 2 pictures updated" for a set of pictures; else empty
};

class UpdateFeedback final : public ScheduleListener {
 public:
  UpdateFeedback(Clock& clock, TrayIcon& tray, UpdateLog& log);

  void updateStarted(const UpdateRequest& request) override;
  void updateFinished(const UpdateRequest& request, const UpdateOutcome& outcome,
                      std::optional<std::time_t> nextUpdate, bool shown) override;
  void updateHeld(Hold hold, const std::string& host, bool logged,
                  std::optional<std::time_t> nextTry, std::optional<std::time_t> until) override;

  // The last update failed (for /status); false before any has ended.
  bool lastFailed() const { return lastFailed_; }

  // What /status prints: the tray's state (the tip's first line), the last update's result
  // and the next update, one line each. The tip's second line is not taken: a pause, a
  // resume or a held update writes over it, and after a failure it names the next try too.
  std::string statusText(std::optional<std::time_t> next, bool running,
                         std::optional<std::time_t> paused) const;

  const std::optional<UpdateRecord>& lastSuccess() const { return lastSuccess_; }
  // When the history entry on the desktop was applied ("14:05"); empty while the updates'
  // own picture is shown.
  const std::string& showingKept() const { return showingKept_; }
  const std::optional<UpdateRecord>& lastFailure() const { return lastFailure_; }

 private:
  Clock& clock_;
  TrayIcon& tray_;
  UpdateLog& log_;
  std::optional<UpdateRecord> lastSuccess_;
  std::optional<UpdateRecord> lastFailure_;
  bool lastFailed_ = false;
  std::string showingKept_;
};

// The whole tip: the first line as it always was, then when and why.
std::string tipText(const std::string& firstLine, const std::string& detail);

// The About box's three lines of state.
std::string lastUpdateLine(const std::optional<UpdateRecord>& success, std::time_t now);
// "Picture: https://cdn.example/x.jpg (og:image)"; empty before any picture is known.
std::string pictureLine(const std::optional<UpdateRecord>& success);
std::string lastFailureLine(const std::optional<UpdateRecord>& failure, std::time_t now);
// paused: the end of the pause in force (kPausedUntilResumed for none), if any.
std::string nextUpdateLine(std::optional<std::time_t> next, bool running,
                           std::optional<std::time_t> paused, std::time_t now);
// "showing the picture of 14:05; updates paused": the tip while the user steps back.
std::string showingKeptText(const std::string& appliedAt);
// "paused until 15:00", "paused".
std::string pausedText(std::time_t until, std::time_t now);
// The pause menu's "until tomorrow" item, with the local time the updates resume at:
// "Until tomorrow, 06:00", or "Until 06:00" before six in the morning.
std::string pauseUntilMorningLabel(std::time_t now,
                                   const UtcOffsetAt& offsetAt = systemUtcOffsetAt);

// What Properties' Check found, in a sentence: "Found https://cdn.example/x.jpg (og:image):
// 1920 x 1080 JPEG, 412 KB." ("...: 4 x 4 tiles of 550 x 550 PNG, 2200 x 2200, 3.1 MB." for
// a picture in tiles), or the reason it found nothing ("Can't connect to 127.0.0.1:9.").
std::string checkResultText(const UpdateOutcome& outcome);
// A reason as a sentence of its own: its first letter capitalised, a full stop at its end.
std::string asSentence(std::string fragment);

}  // namespace tessaren
