// The settings row by row: which field each Config value fills and how it is normalised,
// defaults, the first-run repair, and the pause.
#include "settings/settings_store.h"

#include <algorithm>

#include "platform/text.h"

namespace tessaren {
namespace {

using SettingsField = FieldBinding<Settings>;

const SettingsField kSettingsFields[] = {
    {ValueId::Url, [](Settings& s, const StoredValue& v) { s.url = textOf(v); },
     [](const Settings& s) -> StoredValue { return s.url; }},
    // A folder that normalises to nothing keeps the one before (the default).
    {ValueId::Folder,
     [](Settings& s, const StoredValue& v) {
       if (std::string folder = normaliseFolder(textOf(v)); !folder.empty()) s.folder = folder;
     },
     [](const Settings& s) -> StoredValue { return s.folder; }},
    {ValueId::Interval,
     [](Settings& s, const StoredValue& v) {
       s.interval =
           std::clamp(static_cast<std::int32_t>(numberOf(v)), kShortestInterval, kLongestInterval);
     },
     [](const Settings& s) -> StoredValue { return static_cast<std::uint32_t>(s.interval); }},
    // Another number is no mode: the desktop's own settings are left alone.
    {ValueId::Display,
     [](Settings& s, const StoredValue& v) {
       s.display = displayModeFromNumber(static_cast<std::int32_t>(numberOf(v)))
                       .value_or(DisplayMode::DesktopSettings);
     },
     [](const Settings& s) -> StoredValue { return static_cast<std::uint32_t>(s.display); }},
    {ValueId::Metered,
     [](Settings& s, const StoredValue& v) { s.updateOnMetered = numberOf(v) != 0; },
     [](const Settings& s) -> StoredValue { return std::uint32_t{s.updateOnMetered ? 1u : 0u}; }},
    {ValueId::Pointer, [](Settings& s, const StoredValue& v) { s.pointer = trimmed(textOf(v)); },
     [](const Settings& s) -> StoredValue { return s.pointer; }},
    {ValueId::HistoryPictures,
     [](Settings& s, const StoredValue& v) {
       s.historyPictures = std::min(numberOf(v), kMostHistoryPictures);
     },
     [](const Settings& s) -> StoredValue { return s.historyPictures; }},
    {ValueId::HistoryMegabytes,
     [](Settings& s, const StoredValue& v) {
       s.historyMegabytes = std::min(numberOf(v), kMostHistoryMegabytes);
     },
     [](const Settings& s) -> StoredValue { return s.historyMegabytes; }},
};

}  // namespace

SettingsStore::SettingsStore(ValueStore& store, std::string defaultFolder)
    : store_(store), defaultFolder_(std::move(defaultFolder)) {}

std::optional<StoredValue> SettingsStore::defaultOf(ValueId value) const {
  return defaultOf(value, keyOf(rowOf(value).key));
}

// A default that is another value's is that value under the same key.
std::optional<StoredValue> SettingsStore::defaultOf(ValueId value, const StoreKey& at) const {
  const ValueDefault& fallback = rowOf(value).fallback;
  switch (fallback.from) {
    case ValueDefault::From::Nothing:
      break;
    case ValueDefault::From::Text:
      return std::string(fallback.text);
    case ValueDefault::From::Number:
      return fallback.number;
    case ValueDefault::From::PictureFolder:
      return defaultFolder_;
    case ValueDefault::From::OtherValue:
      if (auto other = readValue(store_, fallback.other, at)) return other;
      return defaultOf(fallback.other, at);
  }
  return std::nullopt;
}

Settings SettingsStore::defaults() const {
  Settings settings;
  for (const SettingsField& field : kSettingsFields)
    if (auto fallback = defaultOf(field.value)) field.take(settings, *fallback);
  return settings;
}

StoreKey SettingsStore::readKey() const {
  const StoreKey& user = keyOf(KeyId::Config);
  const StoreKey& machine = keyOf(KeyId::MachineConfig);
  return store_.keyExists(user) || !store_.keyExists(machine) ? user : machine;
}

Settings SettingsStore::load() const {
  const StoreKey from = readKey();
  Settings settings = defaults();
  for (const SettingsField& field : kSettingsFields)
    if (auto stored = readValue(store_, field.value, from)) field.take(settings, *stored);
  for (const std::string& monitor : store_.subkeys(keyOf(KeyId::Monitors))) {
    const StoreKey at = monitorKey(monitor);
    const std::string url = trimmed(
        textOf(readValue(store_, ValueId::MonitorUrl, at).value_or(StoredValue{std::string()})));
    if (url.empty()) continue;
    MonitorSource& source = settings.monitorSources[monitor];
    source.url = url;
    if (auto pointer = readValue(store_, ValueId::MonitorPointer, at))
      source.pointer = trimmed(textOf(*pointer));
    if (auto display = readValue(store_, ValueId::MonitorDisplay, at)) {
      const auto mode = displayModeFromNumber(static_cast<std::int32_t>(numberOf(*display)));
      if (mode && monitorDisplayMode(*mode)) source.display = *mode;
    }
  }
  return settings;
}

bool SettingsStore::save(const Settings& settings) {
  bool saved = true;
  for (const SettingsField& field : kSettingsFields)
    saved = writeValue(store_, field.value, field.give(settings)) && saved;
  // A monitor that no longer has a source of its own keeps its key (and the record of the
  // picture it had), without the values that made it one.
  for (const std::string& monitor : store_.subkeys(keyOf(KeyId::Monitors))) {
    if (settings.monitorSources.contains(monitor)) continue;
    for (ValueId value : {ValueId::MonitorUrl, ValueId::MonitorPointer, ValueId::MonitorDisplay})
      saved = removeValue(store_, value, monitorKey(monitor)) && saved;
  }
  for (const auto& [monitor, source] : settings.monitorSources) {
    const StoreKey at = monitorKey(monitor);
    saved = writeValue(store_, ValueId::MonitorUrl, source.url, at) &&
            writeValue(store_, ValueId::MonitorPointer, source.pointer, at) &&
            writeValue(store_, ValueId::MonitorDisplay, static_cast<std::uint32_t>(source.display),
                       at) &&
            saved;
  }
  // The marker goes last, so that it is stored only after the others.
  return saved && writeValue(store_, ValueId::Install, *defaultOf(ValueId::Install));
}

void SettingsStore::repair() {
  const StoreKey from = readKey();
  const ValueRow& marker = rowOf(ValueId::Install);
  if (auto stored = readValue(store_, marker.id, from); stored && !marker.unusable(*stored)) return;
  // Values an older installation left machine-wide become the user's own.
  if (from != keyOf(KeyId::Config)) {
    save(load());
    return;
  }
  for (const ValueRow& row : kValueRows) {
    if (row.key != KeyId::Config || !row.unusable || row.id == marker.id) continue;
    const std::optional<StoredValue> stored = readValue(store_, row.id, from);
    if (!stored || row.unusable(*stored)) writeValue(store_, row.id, *defaultOf(row.id));
  }
  writeValue(store_, marker.id, *defaultOf(marker.id));
}

std::optional<std::time_t> SettingsStore::pausedUntil() const {
  const std::optional<StoredValue> until = readValue(store_, ValueId::PausedUntil);
  if (!until || numberOf(*until) == 0) return std::nullopt;
  return static_cast<std::time_t>(numberOf(*until));
}

void SettingsStore::setPausedUntil(std::optional<std::time_t> until) {
  // Seconds since 1970 as 32 unsigned bits (good until 2106); 0 means not paused.
  writeValue(store_, ValueId::PausedUntil,
             until ? static_cast<std::uint32_t>(std::max<std::time_t>(*until, 1)) : 0u);
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
