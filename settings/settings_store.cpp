// The settings: every value name, type and default appears here once.
#include "settings/settings_store.h"

#include <algorithm>

#include "platform/text.h"

namespace tessaren {
namespace {

constexpr const char* kUrl = "url";
constexpr const char* kFolder = "temp";  // its name from the first version, kept
constexpr const char* kInterval = "interval";
constexpr const char* kDisplay = "display";
constexpr const char* kMetered = "metered";
constexpr const char* kPointer = "pointer";
constexpr const char* kPausedUntil = "pausedUntil";
constexpr const char* kInstall = "install";
constexpr std::uint32_t kInstalledMarker = 2;

}  // namespace

SettingsStore::SettingsStore(ValueStore& store, std::string defaultFolder)
    : store_(store), defaultFolder_(std::move(defaultFolder)) {}

Settings SettingsStore::defaults() const {
  return Settings{kDefaultUrl, defaultFolder_, kDefaultInterval, kDefaultDisplay, false, ""};
}

StoreKey SettingsStore::readKey() const {
  return store_.keyExists(kSettingsKey) || !store_.keyExists(kMachineSettingsKey)
             ? kSettingsKey
             : kMachineSettingsKey;
}

Settings SettingsStore::load() const {
  const StoreKey key = readKey();
  Settings settings = defaults();
  if (auto url = store_.readText(key, kUrl)) settings.url = *url;
  if (auto folder = store_.readText(key, kFolder); folder && !normaliseFolder(*folder).empty())
    settings.folder = normaliseFolder(*folder);
  if (auto interval = store_.readNumber(key, kInterval))
    settings.interval =
        std::clamp(static_cast<std::int32_t>(*interval), kShortestInterval, kLongestInterval);
  if (auto display = store_.readNumber(key, kDisplay))
    settings.display = displayModeFromNumber(static_cast<std::int32_t>(*display))
                           .value_or(DisplayMode::DesktopSettings);
  if (auto metered = store_.readNumber(key, kMetered)) settings.updateOnMetered = *metered != 0;
  if (auto pointer = store_.readText(key, kPointer)) settings.pointer = trimmed(*pointer);
  return settings;
}

bool SettingsStore::save(const Settings& settings) {
  bool saved = store_.writeText(kSettingsKey, kUrl, settings.url);
  saved = store_.writeText(kSettingsKey, kFolder, settings.folder) && saved;
  saved =
      store_.writeNumber(kSettingsKey, kInterval, static_cast<std::uint32_t>(settings.interval)) &&
      saved;
  saved =
      store_.writeNumber(kSettingsKey, kDisplay, static_cast<std::uint32_t>(settings.display)) &&
      saved;
  saved = store_.writeNumber(kSettingsKey, kMetered, settings.updateOnMetered ? 1 : 0) && saved;
  saved = store_.writeText(kSettingsKey, kPointer, settings.pointer) && saved;
  // The marker goes last, so that it is stored only after the others.
  return saved && store_.writeNumber(kSettingsKey, kInstall, kInstalledMarker);
}

void SettingsStore::repair() {
  const StoreKey key = readKey();
  if (store_.readNumber(key, kInstall) == kInstalledMarker) return;
  // Values an older installation left machine-wide become the user's own.
  if (key != kSettingsKey) {
    save(load());
    return;
  }
  const Settings fallback = defaults();
  const auto url = store_.readText(key, kUrl);
  if (!url || trimmed(*url).empty()) store_.writeText(key, kUrl, fallback.url);
  const auto folder = store_.readText(key, kFolder);
  if (!folder || folderProblem(normaliseFolder(*folder)))
    store_.writeText(key, kFolder, fallback.folder);
  const auto interval = store_.readNumber(key, kInterval);
  if (!interval || static_cast<std::int32_t>(*interval) < kShortestInterval ||
      static_cast<std::int32_t>(*interval) > kLongestInterval)
    store_.writeNumber(key, kInterval, static_cast<std::uint32_t>(fallback.interval));
  const auto display = store_.readNumber(key, kDisplay);
  if (!display || !displayModeFromNumber(static_cast<std::int32_t>(*display)))
    store_.writeNumber(key, kDisplay, static_cast<std::uint32_t>(fallback.display));
  store_.writeNumber(key, kInstall, kInstalledMarker);
}

std::optional<std::time_t> SettingsStore::pausedUntil() const {
  const std::optional<std::uint32_t> until = store_.readNumber(kSettingsKey, kPausedUntil);
  if (!until || *until == 0) return std::nullopt;
  return static_cast<std::time_t>(*until);
}

void SettingsStore::setPausedUntil(std::optional<std::time_t> until) {
  // Seconds since 1970 as 32 unsigned bits (good until 2106); 0 means not paused.
  store_.writeNumber(kSettingsKey, kPausedUntil,
                     until ? static_cast<std::uint32_t>(std::max<std::time_t>(*until, 1)) : 0);
}

std::optional<std::int32_t> intervalFromField(const std::string& text) {
  const std::string digits = trimmed(text);
  if (digits.empty() || digits.size() > 6) return std::nullopt;
  std::int32_t minutes = 0;
  for (char c : digits) {
    if (c < '0' || c > '9') return std::nullopt;
    minutes = minutes * 10 + (c - '0');
  }
  if (minutes < kShortestInterval || minutes > kLongestInterval) return std::nullopt;
  return minutes;
}

}  // namespace tessaren
