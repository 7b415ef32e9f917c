// The table's keys, its rules of what is unusable, and each value read and written with the
// type its row gives.
#include "settings/settings_table.h"

#include "platform/text.h"
#include "settings/display_mode.h"
#include "settings/picture_folder.h"
#include "settings/settings_store.h"

namespace tessaren {
namespace settings_table {

bool blank(const StoredValue& stored) { return trimmed(textOf(stored)).empty(); }

bool noFolder(const StoredValue& stored) {
  return folderProblem(normaliseFolder(textOf(stored))).has_value();
}

// As the signed number the interval is: a stored 0xFFFFFFFF is -1 minutes, not 4 billion.
bool outsideTheIntervals(const StoredValue& stored) {
  const auto minutes = static_cast<std::int32_t>(numberOf(stored));
  return minutes < kShortestInterval || minutes > kLongestInterval;
}

bool noDisplayMode(const StoredValue& stored) {
  return !displayModeFromNumber(static_cast<std::int32_t>(numberOf(stored)));
}

bool notTheMarker(const StoredValue& stored) {
  return numberOf(stored) != rowOf(ValueId::Install).fallback.number;
}

}  // namespace settings_table

const StoreKey& keyOf(KeyId key) {
  static const StoreKey keys[] = {
#define TESSAREN_KEY(id, root, path, installer) {StoreRoot::root, path},
#define TESSAREN_VALUE(id, key, name, type, fallback, unusable)
#include "settings/settings_table.def"
#undef TESSAREN_KEY
#undef TESSAREN_VALUE
  };
  return keys[static_cast<std::size_t>(key)];
}

std::optional<StoredValue> readValue(ValueStore& store, ValueId value) {
  return readValue(store, value, keyOf(rowOf(value).key));
}

std::optional<StoredValue> readValue(ValueStore& store, ValueId value, const StoreKey& from) {
  const ValueRow& row = rowOf(value);
  std::optional<StoredValue> stored;
  switch (row.type) {
    case ValueType::Text:
      if (auto text = store.readText(from, row.name)) stored.emplace(std::move(*text));
      break;
    case ValueType::Number:
      if (auto number = store.readNumber(from, row.name)) stored.emplace(*number);
      break;
    case ValueType::Bytes:
      if (auto bytes = store.readBytes(from, row.name)) stored.emplace(std::move(*bytes));
      break;
    case ValueType::Validator:
      if (auto bytes = store.readBytes(from, row.name)) {
        stored.emplace(std::move(*bytes));
      } else if (auto text = store.readText(from, row.name)) {
        stored.emplace(std::move(*text));
      }
      break;
  }
  return stored;
}

bool writeValue(ValueStore& store, ValueId value, const StoredValue& stored) {
  return writeValue(store, value, stored, keyOf(rowOf(value).key));
}

bool writeValue(ValueStore& store, ValueId value, const StoredValue& stored, const StoreKey& key) {
  const ValueRow& row = rowOf(value);
  switch (row.type) {
    case ValueType::Text:
      return store.writeText(key, row.name, textOf(stored));
    case ValueType::Number:
      return store.writeNumber(key, row.name, numberOf(stored));
    case ValueType::Bytes:
      return store.writeBytes(key, row.name, textOf(stored));
    case ValueType::Validator:
      // One the server did not send is removed, not kept from an older document.
      if (textOf(stored).empty()) return store.deleteValue(key, row.name);
      return store.writeBytes(key, row.name, textOf(stored));
  }
  return false;
}

bool removeValue(ValueStore& store, ValueId value) {
  return removeValue(store, value, keyOf(rowOf(value).key));
}

bool removeValue(ValueStore& store, ValueId value, const StoreKey& at) {
  return store.deleteValue(at, rowOf(value).name);
}

StoreKey monitorKey(std::string_view monitor) {
  StoreKey key = keyOf(KeyId::Monitor);
  constexpr std::string_view kPlaceholder = "<monitor>";
  key.path.replace(key.path.find(kPlaceholder), kPlaceholder.size(), monitor);
  return key;
}

std::string textOf(const StoredValue& stored) {
  const std::string* text = std::get_if<std::string>(&stored);
  return text ? *text : std::string();
}

std::uint32_t numberOf(const StoredValue& stored) {
  const std::uint32_t* number = std::get_if<std::uint32_t>(&stored);
  return number ? *number : 0;
}

}  // namespace tessaren
