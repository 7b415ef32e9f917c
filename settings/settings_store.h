// The five stored settings: their names, types and defaults, how a stored value is
// normalised, and what the Properties dialog accepts. The only code that knows a value's
// name; everything else works on a Settings copy.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaren {

// Where the settings live: HKEY_CURRENT_USER\Software\Classes\Tessaren\Config (what
// Windows shows as HKEY_CLASSES_ROOT\Tessaren\Config), or the machine-wide
// HKEY_CLASSES_ROOT\Tessaren\Config that an older installation may have written.
inline const std::string kSettingsSubkey = "Tessaren\\Config";

inline const std::string kDefaultUrl =
    "http://www.weather.gov/images/getimagedata.cfm?image=triton/satin0002.jpg&type=jpeg";
constexpr std::int32_t kDefaultInterval = 60;
constexpr std::int32_t kInstalledMarker = 2;
// The refresh period in minutes that Properties accepts: one minute to 31 days.
constexpr std::int32_t kShortestInterval = 1;
constexpr std::int32_t kLongestInterval = 44'640;

enum class DisplayMode : std::int32_t {
  Stretch = 0,
  Center = 1,
  Tile = 2,
  UseDesktopSettings = 3,
  Fit = 4,
  Fill = 5,
  Span = 6,
};
constexpr std::int32_t kDefaultDisplay = static_cast<std::int32_t>(DisplayMode::Center);

struct Settings {
  std::string url;
  std::string temp;           // the download folder, ending in a separator
  std::int32_t interval = 0;  // minutes
  std::int32_t display = 0;   // a DisplayMode number, or any other value someone stored
  std::int32_t install = 0;   // kInstalledMarker once the defaults have been written

  bool operator==(const Settings&) const = default;
};

// Every value read afresh. A value that is missing, or of another type or size, takes
// its default; the folder is normalised and the interval kept within the accepted range.
Settings loadSettings();
// All five, exactly as given, the marker last.
void saveSettings(const Settings& settings);
Settings defaultSettings();
void writeDefaults();
// Writes the defaults unless the marker says they have been written.
void ensureDefaults();

// The last picture applied as the wallpaper, kept so that the next request can ask the
// server whether it has changed (ETag and Last-Modified, exactly as the server sent them),
// and so that an unchanged picture is not written again. Stored beside the settings.
struct AppliedPicture {
  std::string url;  // the URL the validators belong to
  std::string etag;
  std::string lastModified;
  std::int32_t display = -1;   // the display mode it was applied with
  std::int64_t appliedAt = 0;  // when it last changed, seconds since 1970 (0: unknown)

  bool operator==(const AppliedPicture&) const = default;
};
AppliedPicture loadAppliedPicture();
void saveAppliedPicture(const AppliedPicture& picture);

// A download folder as the program uses it: trimmed and ending in a backslash (a
// forward slash counts), so that the file names land inside it. An empty text stays empty.
std::string normaliseDirectory(const std::string& text);
// Why files in this folder could not be written, or nothing: their full paths must fit
// the Windows path limit of 259 characters.
std::optional<std::string> directoryProblem(const std::string& directory);
// A whole number of minutes within the accepted range, blanks around it allowed.
std::optional<std::int32_t> intervalFromField(const std::string& text);
// The interval within the accepted range.
std::int32_t clampInterval(std::int32_t minutes);

}  // namespace tessaren
