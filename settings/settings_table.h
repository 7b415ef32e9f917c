// Every value Tessaren keeps in the registry, as the rows of settings/settings_table.def:
// its key, name, type, default and what makes a stored value unusable; and the one way to
// read, write or remove a value, by its row. Code names values only through these rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "settings/value_store.h"

namespace tessaren {

enum class KeyId : std::uint8_t {
#define TESSAREN_KEY(id, root, path, installer) id,
#define TESSAREN_VALUE(id, key, name, type, fallback, unusable)
#include "settings/settings_table.def"
#undef TESSAREN_KEY
#undef TESSAREN_VALUE
};

enum class ValueId : std::uint8_t {
#define TESSAREN_KEY(id, root, path, installer)
#define TESSAREN_VALUE(id, key, name, type, fallback, unusable) id,
#include "settings/settings_table.def"
#undef TESSAREN_KEY
#undef TESSAREN_VALUE
};

enum class ValueType : std::uint8_t { Text, Number, Bytes, Validator };

// A value as stored: a text (or a Bytes or Validator value's bytes), or a number.
using StoredValue = std::variant<std::string, std::uint32_t>;

struct ValueDefault {
  enum class From : std::uint8_t { Nothing, Text, Number, PictureFolder, OtherValue };
  From from = From::Nothing;
  std::string_view text{};
  std::uint32_t number = 0;
  ValueId other{};
};

struct ValueRow {
  ValueId id;
  KeyId key;
  std::string_view name;
  ValueType type;
  ValueDefault fallback;
  // Null (never): whatever is stored stays.
  bool (*unusable)(const StoredValue& stored);
};

// The words the table's default and unusable columns are written in.
namespace settings_table {

constexpr ValueDefault text(std::string_view text) { return {ValueDefault::From::Text, text}; }
constexpr ValueDefault number(std::uint32_t number) {
  return {ValueDefault::From::Number, {}, number};
}
constexpr ValueDefault nothing{};
constexpr ValueDefault pictureFolder{ValueDefault::From::PictureFolder};
constexpr ValueDefault sameAs(ValueId other) {
  return {ValueDefault::From::OtherValue, {}, 0, other};
}

bool blank(const StoredValue& stored);
// No folder the picture's files could be kept in, once normalised.
bool noFolder(const StoredValue& stored);
bool outsideTheIntervals(const StoredValue& stored);
bool noDisplayMode(const StoredValue& stored);
bool notTheMarker(const StoredValue& stored);
constexpr bool (*never)(const StoredValue&) = nullptr;

}  // namespace settings_table

// In the order of ValueId.
inline constexpr ValueRow kValueRows[] = {
#define TESSAREN_KEY(id, root, path, installer)
#define TESSAREN_VALUE(id, key, name, type, fallback, unusable) \
  {ValueId::id,                                                 \
   KeyId::key,                                                  \
   name,                                                        \
   ValueType::type,                                             \
   settings_table::fallback,                                    \
   settings_table::unusable},
#include "settings/settings_table.def"
#undef TESSAREN_KEY
#undef TESSAREN_VALUE
};

constexpr const ValueRow& rowOf(ValueId value) {
  return kValueRows[static_cast<std::size_t>(value)];
}

const StoreKey& keyOf(KeyId key);

// The value under its row's key, or under from (the machine-wide Config key stands in for
// the user's); nothing when it is missing or of another type or size.
std::optional<StoredValue> readValue(ValueStore& store, ValueId value);
std::optional<StoredValue> readValue(ValueStore& store, ValueId value, const StoreKey& from);
// Stored with the row's type under its key; true when it is.
bool writeValue(ValueStore& store, ValueId value, const StoredValue& stored);
bool writeValue(ValueStore& store, ValueId value, const StoredValue& stored, const StoreKey& at);
// True when the value is gone afterwards.
bool removeValue(ValueStore& store, ValueId value);
bool removeValue(ValueStore& store, ValueId value, const StoreKey& at);

// The key of one monitor's own values (KeyId::Monitor with its name in place of <monitor>).
StoreKey monitorKey(std::string_view monitor);

// One value of a record kept in the table (Settings, AppliedPicture): how its stored value
// (or default) becomes the record's field, and back.
template <class Record>
struct FieldBinding {
  ValueId value;
  void (*take)(Record& record, const StoredValue& stored);
  StoredValue (*give)(const Record& record);
};

// What a stored value holds: "" or 0 when it holds the other kind.
std::string textOf(const StoredValue& stored);
std::uint32_t numberOf(const StoredValue& stored);

}  // namespace tessaren
