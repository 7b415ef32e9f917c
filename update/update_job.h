// One update, from the settings copy it was given to the wallpaper: make sure the folder
// is there, download (asking whether the picture changed), draw the BMP, commit, and say
// what happened. Runs on a worker thread: it touches no window and no shared state but the
// commit gate. Its files are its own, under names nobody can tell in advance; only the
// commit step, one update at a time and never after a cancel, touches the files users and
// the desktop see.
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <map>
#include <mutex>
#include <string>

#include "download/cancel_token.h"
#include "download/fetch.h"
#include "imaging/desktop_api.h"
#include "platform/files.h"
#include "settings/settings_store.h"
#include "update/outcome.h"

namespace tessaren {

struct UpdateRequest {
  std::uint64_t id = 0;
  Settings settings;
  AppliedPicture applied;   // what is on the desktop now, as far as we know
  bool redrawOnly = false;  // draw the kept picture again (the screens changed); no download
  // With redrawOnly: the folder whose pictures are drawn, under their names in the picture
  // folder (a history entry's); empty for the picture folder itself.
  std::string drawFrom{};
  bool clearLeftovers = false;  // the first update since start: remove what a crash left
  // Properties' Check: find and download the picture and read its header, and nothing
  // more: nothing is asked about earlier pictures, drawn, applied or kept.
  bool checkOnly = false;
  std::time_t startedAt = 0;  // wall clock, for the picture's time of change
  // The records of the monitors' own pictures, by the monitor's key name.
  std::map<std::string, AppliedPicture> monitorsApplied;
};

// One commit at a time, in the order the commits happen.
class CommitGate {
 public:
  std::unique_lock<std::mutex> enter() { return std::unique_lock<std::mutex>(mutex_); }
  // The GUI thread never waits for a commit (the wallpaper call inside it sends messages
  // to every window, the program's own too): the lock, if it is free.
  std::unique_lock<std::mutex> tryEnter() {
    return std::unique_lock<std::mutex>(mutex_, std::try_to_lock);
  }
  // Under the lock: the order of the commit now made.
  std::uint64_t next() { return ++last_; }
  // Under the lock: the order of the last commit made.
  std::uint64_t last() const { return last_; }

 private:
  std::mutex mutex_;
  std::uint64_t last_ = 0;
};

// The steps an update reaches, for tests that hold it at one of them.
enum class UpdateStep { Downloading, Drawing, Committing };

struct UpdateServices {
  Fetcher& fetcher;
  Files& files;
  DesktopApi& desktop;
  ValueStore& store;  // the desktop's style values
  CommitGate& commits;
  FetchLimits limits{};
  std::function<void(UpdateStep)> reached{};  // tests only; empty in the program
};

// One picture, or, when some connected monitor has a source of its own, a set: every
// distinct picture downloaded, the wallpaper drawn once from the set (drawWallpaper), each
// monitor from its own picture.
UpdateOutcome runUpdate(const UpdateRequest& request, UpdateServices& services,
                        CancelToken& cancel);

// The server an address names, for the log; empty when it names none.
std::string hostOf(const std::string& url);

// Removes what Tessaren keeps in folder (the pictures, the BMP, its own temporary files and
// the history) and nothing else; for the uninstaller. The folder is taken literally.
void removeOwnFiles(Files& files, const std::string& folder);

}  // namespace tessaren
