// Reading and writing the five settings, one registry value at a time: every access
// opens its key, reads or writes one value and closes the key again.
#include "settings/settings_store.h"

#include <cstring>

#include "settings/default_directory.h"
#include "settings/registry_api.h"

namespace tessaren {
namespace {

constexpr std::uint32_t kNumberSize = 4;
constexpr std::uint32_t kTextSize = 1024;

std::string perUserSubkey(const std::string& subkey) { return kPerUserClassesPrefix + subkey; }

// Opens the per-user key for reading, or else the machine-wide one that an older
// installation may have written.
bool openForReading(const std::string& subkey, ScopedRegistryKey& key) {
  RegistryApi& registry = registryApi();
  if (registry.openKey(RegistryRoot::CurrentUser, perUserSubkey(subkey), kKeyRead, key.receive()) ==
      kRegistryOk)
    return true;
  return registry.openKey(RegistryRoot::ClassesRoot, subkey, kKeyRead, key.receive()) ==
         kRegistryOk;
}

void writeValue(const std::string& subkey, const std::string& name, std::uint32_t type,
                const std::uint8_t* data, std::uint32_t size) {
  ScopedRegistryKey key;
  if (registryApi().createKey(RegistryRoot::CurrentUser, perUserSubkey(subkey), kKeyAllAccess,
                              key.receive()) != kRegistryOk)
    return;
  registryApi().setValue(key.get(), name, type, data, size);
}

}  // namespace

std::int32_t RegistryAccess::readNumber(const std::string& subkey, const std::string& name,
                                        std::int32_t& destination) const {
  std::uint8_t data[kNumberSize] = {};
  std::uint32_t size = kNumberSize;
  long result;
  {
    ScopedRegistryKey key;
    if (!openForReading(subkey, key)) return kReadNoKey;
    result = registryApi().queryValue(key.get(), name, data, size);
  }
  if (result != kRegistryOk) return kReadNoValue;
  // The bytes read replace the low-order bytes, little-endian; shorter data leaves the
  // higher bytes as they were.
  auto value = static_cast<std::uint32_t>(destination);
  for (std::uint32_t i = 0; i < size && i < kNumberSize; ++i) {
    value &= ~(0xFFu << (8 * i));
    value |= static_cast<std::uint32_t>(data[i]) << (8 * i);
  }
  destination = static_cast<std::int32_t>(value);
  return kReadOk;
}

std::int32_t RegistryAccess::readText(const std::string& subkey, const std::string& name,
                                      std::string& destination) const {
  char data[kTextSize];
  std::uint32_t size = kTextSize;
  long result;
  {
    ScopedRegistryKey key;
    if (!openForReading(subkey, key)) return kReadNoKey;
    result = registryApi().queryValue(key.get(), name, reinterpret_cast<std::uint8_t*>(data), size);
  }
  if (result != kRegistryOk) return kReadNoValue;
  if (size > kTextSize) size = kTextSize;
  const void* nul = std::memchr(data, '\0', size);
  destination.assign(data, nul ? static_cast<const char*>(nul) - data : size);
  return kReadOk;
}

void RegistryAccess::writeText(const std::string& subkey, const std::string& name,
                               std::string text) const {
  writeValue(subkey, name, kRegSz, reinterpret_cast<const std::uint8_t*>(text.c_str()),
             static_cast<std::uint32_t>(text.size() + 1));
}

void RegistryAccess::writeNumber(const std::string& subkey, const std::string& name,
                                 std::int32_t number) const {
  auto bits = static_cast<std::uint32_t>(number);
  const std::uint8_t data[kNumberSize] = {
      static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
      static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  writeValue(subkey, name, kRegDword, data, kNumberSize);
}

std::int32_t loadSettings(Settings& settings) {
  RegistryAccess registry;
  registry.readText(kSettingsSubkey, "url", settings.url);
  registry.readText(kSettingsSubkey, "temp", settings.temp);
  registry.readNumber(kSettingsSubkey, "interval", settings.interval);
  registry.readNumber(kSettingsSubkey, "display", settings.display);
  registry.readNumber(kSettingsSubkey, "install", settings.install);
  if (settings.interval < 1) settings.interval = 1;
  return 0;
}

std::int32_t saveSettings(Settings settings) {
  RegistryAccess registry;
  registry.writeText(kSettingsSubkey, "url", settings.url);
  registry.writeText(kSettingsSubkey, "temp", settings.temp);
  registry.writeNumber(kSettingsSubkey, "interval", settings.interval);
  registry.writeNumber(kSettingsSubkey, "display", settings.display);
  // The marker goes last, so that it is stored only after the other four.
  registry.writeNumber(kSettingsSubkey, "install", settings.install);
  return 0;
}

Settings defaultSettings() {
  return Settings{kDefaultUrl, defaultDownloadDirectory(), kDefaultInterval, kDefaultDisplay,
                  kInstalledMarker};
}

void writeDefaults() { saveSettings(defaultSettings()); }

void ensureDefaults() {
  std::int32_t marker = 0;
  RegistryAccess().readNumber(kSettingsSubkey, "install", marker);
  if (marker != kInstalledMarker) writeDefaults();
}

}  // namespace tessaren
