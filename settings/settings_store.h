// The five stored settings: the record that holds them, the only code that reads and
// writes them in the registry, and the first-run defaults.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

// Where the settings live. Written per user under HKEY_CURRENT_USER\Software\Classes
// (what Windows shows as HKEY_CLASSES_ROOT\Tessaren\Config); read from there first and
// from the machine-wide HKEY_CLASSES_ROOT\Tessaren\Config when the per-user key is absent.
inline const std::string kSettingsSubkey = "Tessaren\\Config";
inline const std::string kPerUserClassesPrefix = "Software\\Classes\\";

// The default server, shared by the default URL and the initial download target.
inline const std::string kDefaultServerName = "www.weather.gov";
inline const std::string kDefaultObjectPath =
    "/images/getimagedata.cfm?image=triton/satin0002.jpg&type=jpeg";
inline const std::string kDefaultUrl = "http://" + kDefaultServerName + kDefaultObjectPath;
constexpr std::int32_t kDefaultInterval = 60;
constexpr std::int32_t kInstalledMarker = 2;

enum class DisplayMode : std::int32_t { Stretch = 0, Center = 1, Tile = 2, UseDesktopSettings = 3 };
constexpr std::int32_t kDefaultDisplay = static_cast<std::int32_t>(DisplayMode::Center);

struct Settings {
  std::string url;
  std::string temp;
  std::int32_t interval = 0;  // minutes
  std::int32_t display = 0;   // a DisplayMode number, or any other value someone stored
  std::int32_t install = 0;   // kInstalledMarker once the defaults have been written
};

// Read results: 0 read; -1 the key cannot be opened; -2 the value cannot be read.
// A failed read leaves the destination as it was.
constexpr std::int32_t kReadOk = 0;
constexpr std::int32_t kReadNoKey = -1;
constexpr std::int32_t kReadNoValue = -2;

class RegistryAccess {
 public:
  virtual ~RegistryAccess() = default;

  // Reads at most 4 bytes; they replace the low-order bytes of destination.
  std::int32_t readNumber(const std::string& subkey, const std::string& name,
                          std::int32_t& destination) const;
  // Reads at most 1024 bytes of data; the text ends at the first NUL.
  std::int32_t readText(const std::string& subkey, const std::string& name,
                        std::string& destination) const;
  void writeText(const std::string& subkey, const std::string& name, std::string text) const;
  void writeNumber(const std::string& subkey, const std::string& name, std::int32_t number) const;
};

std::int32_t loadSettings(Settings& settings);
std::int32_t saveSettings(Settings settings);
void writeDefaults();
void ensureDefaults();

// The settings a first run writes.
Settings defaultSettings();

}  // namespace tessaren
