// The stored settings: their names, types and defaults, how a stored value is normalised,
// and what counts as usable. The only code that knows a value's name; everything else
// works on a Settings copy.
#pragma once

#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

#include "settings/display_mode.h"
#include "settings/picture_folder.h"
#include "settings/value_store.h"

namespace tessaren {

inline const std::string kDefaultUrl =
    "http://www.weather.gov/images/getimagedata.cfm?image=triton/satin0002.jpg&type=jpeg";
constexpr std::int32_t kDefaultInterval = 60;
constexpr DisplayMode kDefaultDisplay = DisplayMode::Center;
// The refresh period in minutes that Properties accepts: one minute to 31 days.
constexpr std::int32_t kShortestInterval = 1;
constexpr std::int32_t kLongestInterval = 44'640;

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

  bool operator==(const Settings&) const = default;
};

// Where the settings live: HKEY_CURRENT_USER\Software\Classes\Tessaren\Config (what
// Windows shows as HKEY_CLASSES_ROOT\Tessaren\Config). When that key does not exist they
// are read from the machine-wide HKEY_CLASSES_ROOT\Tessaren\Config, where an older
// installation may have written them.
inline const StoreKey kSettingsKey{StoreRoot::User, "Software\\Classes\\Tessaren\\Config"};
inline const StoreKey kMachineSettingsKey{StoreRoot::Classes, "Tessaren\\Config"};
constexpr std::time_t kPausedUntilResumed = 0xFFFFFFFF;
// Everything Tessaren keeps in the registry, for the uninstaller and the tests.
inline const StoreKey kTessarenKey{StoreRoot::User, "Software\\Classes\\Tessaren"};

class SettingsStore {
 public:
  // defaultFolder: the picture folder of the first-run defaults.
  SettingsStore(ValueStore& store, std::string defaultFolder);

  // Every value read afresh. A value that is missing, or of another type or size, takes
  // its default; the folder is normalised, the interval kept within the accepted range, and
  // a display number that is no mode leaves the desktop's own settings alone.
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
  ValueStore& store() const { return store_; }
  // The key reads come from: the per-user one, or the machine-wide one without it.
  StoreKey readKey() const;

 private:
  ValueStore& store_;
  std::string defaultFolder_;
};

// A whole number of minutes within the accepted range, blanks around it allowed.
std::optional<std::int32_t> intervalFromField(const std::string& text);

}  // namespace tessaren
