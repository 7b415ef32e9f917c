// The pictures applied before, kept as they came so that the user can step back to them:
// in the picture folder's "history" folder, one folder per update named after the local
// time its pictures were applied ("2026-12-08 140512", which sorts as they came), holding
// that update's pictures under the names they have in the picture folder. An entry is thus
// the whole set of pictures of one update, and the picture folder itself is the newest set.
// The rules (names, rotation, stepping) are portable; the files go through Files.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/failure.h"
#include "platform/files.h"
#include "platform/local_time.h"

namespace tessaren {

inline const std::string kHistoryFolderName = "history";

struct HistoryLimits {
  std::uint32_t pictures = 20;
  std::uint64_t bytes = 200ull << 20;
  // A limit of 0 turns the history off.
  bool on() const { return pictures > 0 && bytes > 0; }
};

struct HistoryEntry {
  std::string name;  // the entry's folder: "2026-12-08 140512"
  std::uint64_t bytes = 0;
};

// The folder the entries are kept in, ending in the picture folder's own separator.
std::string historyFolder(const std::string& pictureFolder);
// An entry's folder, ending in the separator.
std::string entryFolder(const std::string& pictureFolder, const std::string& name);

// The name of an entry for pictures applied at `when`: the local time to the second; a
// name already taken (two updates in one second) gets " (2)", " (3)"...
std::string entryName(std::time_t when, const std::vector<std::string>& taken,
                      const UtcOffsetAt& offsetAt = systemUtcOffsetAt);
// The name of the entry whose folder (entryFolder) is given; empty for an empty folder.
std::string entryNameOf(const std::string& entryFolder);
// A folder name entryName makes: only those are read as entries or ever removed.
bool isEntryName(std::string_view name);

// The entries (oldest first) that go, oldest first, so that at most limits.pictures of
// at most limits.bytes together stay. The newest stays while the history is on (it is the
// picture on the desktop, and its files are those of the picture folder), and `shown` (the
// entry on the desktop while the user steps back) always; with the history off every
// other one goes.
std::vector<std::string> entriesToRemove(const std::vector<HistoryEntry>& oldestFirst,
                                         const HistoryLimits& limits, const std::string& shown);

enum class HistoryStep { Previous, Next };

struct StepTarget {
  std::string name;     // the entry to draw
  bool newest = false;  // it is the newest: stepping ends and the updates go on
};

// Where a step goes among the entries' names (oldest first) from `shown` (empty: the
// newest, as the updates left it); nothing when there is nowhere to go. An entry shown that
// has gone meanwhile counts as standing where its name sorts.
std::optional<StepTarget> stepFrom(const std::vector<std::string>& oldestFirst,
                                   const std::string& shown, HistoryStep step);

// When an entry's pictures were applied, for the tip: "14:05" on the day of `now`,
// "2026-12-08 14:05" on another.
std::string entryTimeText(std::string_view name, std::time_t now,
                          const UtcOffsetAt& offsetAt = systemUtcOffsetAt);

class History {
 public:
  explicit History(Files& files) : files_(files) {}

  // The names of the pictures on the desktop as the picture folder holds them, as they
  // came: tessaren.jpg, and one for each other source (tessaren-*.jpg).
  std::vector<std::string> pictureSet(const std::string& pictureFolder);

  // Oldest first, with the bytes each holds.
  std::vector<HistoryEntry> entries(const std::string& pictureFolder);
  // Keeps the files of the picture folder named in `names` (those that exist) as a new entry
  // for pictures applied at `when`, then removes what is over the limits; with the history
  // off it only removes. Nothing is kept of an entry that could not be made whole.
  std::optional<Failure> add(const std::string& pictureFolder,
                             const std::vector<std::string>& names, std::time_t when,
                             const HistoryLimits& limits, const std::string& shown,
                             const UtcOffsetAt& offsetAt = systemUtcOffsetAt);
  // Removes the entries and the history folder, for the uninstaller: only Tessaren's own
  // files in folders with an entry's name, so that anything else stays, with its folders.
  void removeAll(const std::string& pictureFolder);

 private:
  void removeEntry(const std::string& pictureFolder, const std::string& name);

  Files& files_;
};

}  // namespace tessaren
