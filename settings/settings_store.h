// The settings and the applied-picture record as the program uses them: loaded, saved and
// repaired row by row from the table (settings/settings_table.def), which alone names the
// values; everything else works on a Settings or AppliedPicture copy.
#pragma once

#include <cstdint>
#include <ctime>
#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "settings/applied_picture.h"
#include "settings/display_mode.h"
#include "settings/picture_folder.h"
#include "settings/settings_table.h"
#include "settings/value_store.h"

namespace tessaren {

// The table's defaults, for the code that needs one before anything is loaded.
constexpr std::string_view kDefaultUrl = rowOf(ValueId::Url).fallback.text;
constexpr auto kDefaultInterval =
    static_cast<std::int32_t>(rowOf(ValueId::Interval).fallback.number);
constexpr auto kDefaultDisplay = static_cast<DisplayMode>(rowOf(ValueId::Display).fallback.number);
constexpr std::uint32_t kDefaultHistoryPictures = rowOf(ValueId::HistoryPictures).fallback.number;
constexpr std::uint32_t kDefaultHistoryMegabytes = rowOf(ValueId::HistoryMegabytes).fallback.number;
// The history's limits that Properties accepts.
constexpr std::uint32_t kMostHistoryPictures = 1000;
constexpr std::uint32_t kMostHistoryMegabytes = 100'000;
// The refresh period in minutes that Properties accepts: one minute to 31 days.
constexpr std::int32_t kShortestInterval = 1;
constexpr std::int32_t kLongestInterval = 44'640;

// A monitor's own picture: its address, "Picture at", and how it is placed (Fit, Fill,
// Center or Stretch).
struct MonitorSource {
  std::string url{};
  std::string pointer{};
  DisplayMode display = DisplayMode::Fill;

  bool operator==(const MonitorSource&) const = default;
};

// The modes a monitor's own picture may have; another stored number counts as Fill.
constexpr bool monitorDisplayMode(DisplayMode mode) {
  return mode == DisplayMode::Fit || mode == DisplayMode::Fill || mode == DisplayMode::Center ||
         mode == DisplayMode::Stretch;
}

struct Settings {
  std::string url{};
  std::string folder{};  // where the picture and the BMP are kept, ending in a backslash
  std::int32_t interval = kDefaultInterval;  // minutes
  DisplayMode display = kDefaultDisplay;
  // Automatic updates also on a metered connection and in battery saver.
  bool updateOnMetered = false;
  // Where in a JSON document the picture's address is (a JSON Pointer); empty: found by
  // itself. Shown in Properties as "Picture at".
  std::string pointer{};
  // The monitors that show a picture of their own, by the name of their key (connected or
  // not); every other monitor shows the picture above.
  std::map<std::string, MonitorSource> monitorSources{};
  // The history of applied pictures: how many updates' pictures, and how many megabytes
  // together, are kept at most; 0 turns it off.
  std::uint32_t historyPictures = kDefaultHistoryPictures;
  std::uint32_t historyMegabytes = kDefaultHistoryMegabytes;

  bool operator==(const Settings&) const = default;
};

constexpr std::time_t kPausedUntilResumed = 0xFFFFFFFF;

class SettingsStore {
 public:
  // defaultFolder: the picture folder of the first-run defaults.
  SettingsStore(ValueStore& store, std::string defaultFolder);

  // Every value read afresh from the Config key (the machine-wide one while the user has
  // none). A value that is missing, or of another type or size, takes its default; the
  // folder is normalised, the interval kept within the accepted range, and a display number
  // that is no mode leaves the desktop's own settings alone.
  Settings load() const;
  // All values, exactly as given, the first-run marker last.
  bool save(const Settings& settings);
  // At the first run (no marker, or another value in it) every value that is itself
  // missing or unusable is written with its default; values a user chose stay.
  void repair();

  Settings defaults() const;

  // Until when the user paused the updates (UTC); kPausedUntilResumed for no end;
  // nothing when they are not paused. Kept across restarts.
  std::optional<std::time_t> pausedUntil() const;
  void setPausedUntil(std::optional<std::time_t> until);
  // What Tessaren knows of the picture on the desktop, read afresh: a value that is
  // missing, or of another type or size, takes its default.
  AppliedPicture loadApplied() const;
  void saveApplied(const AppliedPicture& picture);
  // The record of a monitor's own picture, under its key.
  AppliedPicture loadApplied(const std::string& monitor) const;
  void saveApplied(const std::string& monitor, const AppliedPicture& picture);

  // The key reads come from: the per-user one, or the machine-wide one without it.
  StoreKey readKey() const;

 private:
  // The row's default; nothing for a row without one.
  std::optional<StoredValue> defaultOf(ValueId value) const;
  std::optional<StoredValue> defaultOf(ValueId value, const StoreKey& at) const;

  ValueStore& store_;
  std::string defaultFolder_;
};

// A whole number of minutes within the accepted range, blanks around it allowed.
std::optional<std::int32_t> intervalFromField(const std::string& text);

}  // namespace tessaren
