// The Properties dialog's fields as text, and the check that turns them into settings
// or names the field that is wrong. Nothing is stored unless every field is right.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "platform/files.h"
#include "settings/settings_store.h"

namespace tessaren {

// A monitor's own source as its fields hold it.
struct MonitorFields {
  std::string url{};
  std::string pointer{};
  std::int32_t display = static_cast<std::int32_t>(DisplayMode::Fill);
};

struct PropertiesFields {
  std::string url{};
  std::string folder{};
  std::string interval{};
  std::int32_t display = -1;  // the selected entry of the display list, -1 for none
  bool updateOnMetered = false;
  std::string pointer{};
  // The monitors with a source of their own, by key name; a monitor left out shows the
  // common picture ("Same as all monitors").
  std::map<std::string, MonitorFields> monitorSources{};
  // The history's limits: pictures, and megabytes together.
  std::string historyPictures = std::to_string(kDefaultHistoryPictures);
  std::string historyMegabytes = std::to_string(kDefaultHistoryMegabytes);
};

enum class PropertiesField {
  Url,
  Folder,
  Interval,
  Display,
  Pointer,
  HistoryPictures,
  HistoryMegabytes
};

struct FieldProblem {
  PropertiesField field;
  std::string message;    // a sentence for the user, naming the problem
  std::string monitor{};  // the key name of the monitor whose field it is; empty: all monitors'
};

struct CheckedFields {
  std::optional<Settings> settings;  // what to store
  std::optional<FieldProblem> problem;
};

// Trims every field and checks the URL (a dated one as it would be at now), the interval
// and the folder (making it, with its parents, when missing); each monitor's own URL and
// "Picture at" as the common ones, and its display among Fit, Fill, Center and Stretch.
CheckedFields checkFields(const PropertiesFields& fields, const Settings& loaded, Files& files,
                          std::time_t now);

// A whole number from 0 to most, blanks around it allowed.
std::optional<std::uint32_t> wholeNumberFromField(const std::string& text, std::uint32_t most);

// The fields for settings as loaded.
PropertiesFields fieldsFor(const Settings& settings);

}  // namespace tessaren
