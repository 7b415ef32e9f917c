// The history's names, rotation and stepping, and its files.
#include "update/history.h"

#include <algorithm>
#include <cstdio>

namespace tessaren {
namespace {

// "2026-12-08 140512": the part every entry's name begins with.
constexpr std::size_t kStampLength = 17;

bool isDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

char separatorOf(const std::string& folder) {
  return !folder.empty() && isPathSeparator(folder.back()) ? folder.back() : '\\';
}

}  // namespace

std::string historyFolder(const std::string& pictureFolder) {
  return pictureFolder + kHistoryFolderName + separatorOf(pictureFolder);
}

std::string entryFolder(const std::string& pictureFolder, const std::string& name) {
  return historyFolder(pictureFolder) + name + separatorOf(pictureFolder);
}

std::string entryName(std::time_t when, const std::vector<std::string>& taken,
                      const UtcOffsetAt& offsetAt) {
  const std::tm local = localTime(when, offsetAt);
  char stamp[32];
  std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d%02d%02d", local.tm_year + 1900,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
  std::string name = stamp;
  for (int count = 2; std::find(taken.begin(), taken.end(), name) != taken.end(); ++count)
    name = std::string(stamp) + " (" + std::to_string(count) + ")";
  return name;
}

std::string entryNameOf(const std::string& entryFolder) {
  std::string name = entryFolder;
  while (!name.empty() && isPathSeparator(name.back())) name.pop_back();
  const auto start = std::find_if(name.rbegin(), name.rend(), isPathSeparator).base();
  return std::string(start, name.end());
}

bool isEntryName(std::string_view name) {
  if (name.size() < kStampLength) return false;
  const std::string_view stamp = name.substr(0, kStampLength);
  if (!isDigits(stamp.substr(0, 4)) || stamp[4] != '-' || !isDigits(stamp.substr(5, 2)) ||
      stamp[7] != '-' || !isDigits(stamp.substr(8, 2)) || stamp[10] != ' ' ||
      !isDigits(stamp.substr(11, 6)))
    return false;
  const std::string_view count = name.substr(kStampLength);
  return count.empty() || (count.size() >= 4 && count.substr(0, 2) == " (" && count.back() == ')' &&
                           isDigits(count.substr(2, count.size() - 3)));
}

std::vector<std::string> entriesToRemove(const std::vector<HistoryEntry>& oldestFirst,
                                         const HistoryLimits& limits, const std::string& shown) {
  std::vector<std::string> removed;
  std::uint64_t count = oldestFirst.size();
  std::uint64_t bytes = 0;
  for (const HistoryEntry& entry : oldestFirst) bytes += entry.bytes;
  for (std::size_t at = 0; at < oldestFirst.size(); ++at) {
    const HistoryEntry& entry = oldestFirst[at];
    if (limits.on() &&
        (at + 1 == oldestFirst.size() || (count <= limits.pictures && bytes <= limits.bytes)))
      break;
    if (entry.name == shown) continue;
    removed.push_back(entry.name);
    --count;
    bytes -= entry.bytes;
  }
  return removed;
}

std::optional<StepTarget> stepFrom(const std::vector<std::string>& oldestFirst,
                                   const std::string& shown, HistoryStep step) {
  const std::size_t count = oldestFirst.size();
  if (count < 2) return std::nullopt;
  // Where the desktop stands: the newest entry, or the one shown (where its name sorts,
  // and between two entries when it is gone).
  std::size_t at = count - 1;
  bool between = false;
  if (!shown.empty()) {
    at = static_cast<std::size_t>(std::lower_bound(oldestFirst.begin(), oldestFirst.end(), shown) -
                                  oldestFirst.begin());
    between = at == count || oldestFirst[at] != shown;
  }
  std::size_t target = 0;
  if (step == HistoryStep::Previous) {
    if (at == 0) return std::nullopt;
    target = at - 1;
  } else {
    if (shown.empty()) return std::nullopt;
    target = between ? std::min(at, count - 1) : at + 1;
    if (target >= count) target = count - 1;
  }
  return StepTarget{oldestFirst[target], target == count - 1};
}

std::string entryTimeText(std::string_view name, std::time_t now, const UtcOffsetAt& offsetAt) {
  if (!isEntryName(name)) return std::string(name);
  const std::string time = std::string(name.substr(11, 2)) + ":" + std::string(name.substr(13, 2));
  const std::tm today = localTime(now, offsetAt);
  char date[16];
  std::snprintf(date, sizeof date, "%04d-%02d-%02d", today.tm_year + 1900, today.tm_mon + 1,
                today.tm_mday);
  if (name.substr(0, 10) == date) return time;
  return std::string(name.substr(0, 10)) + " " + time;
}

std::vector<std::string> History::pictureSet(const std::string& pictureFolder) {
  // An update's own files end in ".part", the wallpaper in ".bmp".
  std::vector<std::string> names = files_.list(pictureFolder, "tessaren", ".jpg");
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<HistoryEntry> History::entries(const std::string& pictureFolder) {
  std::vector<HistoryEntry> found;
  // A history\ that is a link or junction leads elsewhere: none of it is Tessaren's.
  if (files_.isLink(historyFolder(pictureFolder))) return found;
  for (const std::string& name : files_.folders(historyFolder(pictureFolder))) {
    if (!isEntryName(name)) continue;
    HistoryEntry entry{name, 0};
    const std::string folder = entryFolder(pictureFolder, name);
    for (const std::string& file : files_.list(folder, "", ""))
      entry.bytes += files_.size(folder + file).value_or(0);
    found.push_back(entry);
  }
  std::sort(found.begin(), found.end(),
            [](const HistoryEntry& a, const HistoryEntry& b) { return a.name < b.name; });
  return found;
}

std::optional<Failure> History::add(const std::string& pictureFolder,
                                    const std::vector<std::string>& names, std::time_t when,
                                    const HistoryLimits& limits, const std::string& shown,
                                    const UtcOffsetAt& offsetAt) {
  std::vector<HistoryEntry> kept = entries(pictureFolder);
  std::optional<Failure> problem;
  if (limits.on()) {
    std::vector<std::string> taken;
    for (const HistoryEntry& entry : kept) taken.push_back(entry.name);
    HistoryEntry added{entryName(when, taken, offsetAt), 0};
    const std::string folder = entryFolder(pictureFolder, added.name);
    problem = files_.makeFolder(folder);
    bool keptAny = false;
    for (const std::string& name : names) {
      if (problem) break;
      if (!files_.exists(pictureFolder + name)) continue;
      problem = files_.keepCopy(pictureFolder + name, folder + name);
      added.bytes += files_.size(folder + name).value_or(0);
      keptAny = true;
    }
    if (problem || !keptAny) {
      removeEntry(pictureFolder, added.name);
    } else {
      // An entry's name sorts among the others by its time.
      kept.insert(std::upper_bound(
                      kept.begin(), kept.end(), added,
                      [](const HistoryEntry& a, const HistoryEntry& b) { return a.name < b.name; }),
                  added);
    }
  }
  for (const std::string& name : entriesToRemove(kept, limits, shown))
    removeEntry(pictureFolder, name);
  return problem;
}

void History::removeEntry(const std::string& pictureFolder, const std::string& name) {
  const std::string folder = entryFolder(pictureFolder, name);
  // Looked at again just before: an entry swapped for a junction since it was listed.
  if (files_.isLink(historyFolder(pictureFolder)) || files_.isLink(folder)) return;
  // The picture folder's names all begin so: tessaren.jpg, and one per monitor's source.
  for (const std::string& file : files_.list(folder, "tessaren", "")) files_.remove(folder + file);
  files_.removeFolder(folder);
}

void History::removeAll(const std::string& pictureFolder) {
  for (const HistoryEntry& entry : entries(pictureFolder)) removeEntry(pictureFolder, entry.name);
  // A history\ that is a link or junction is not Tessaren's: it stays.
  if (!files_.isLink(historyFolder(pictureFolder)))
    files_.removeFolder(historyFolder(pictureFolder));
}

}  // namespace tessaren
