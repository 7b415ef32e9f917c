// The value store in memory.
#include "tests/support/memory_store.h"

#include <algorithm>

namespace tessaren::test {
namespace {

template <typename T>
std::optional<T> read(const std::map<std::pair<StoreKey, std::string>, MemoryStore::Value>& values,
                      const StoreKey& key, std::string_view name) {
  auto found = values.find({key, std::string(name)});
  if (found == values.end() || !std::holds_alternative<T>(found->second)) return std::nullopt;
  return std::get<T>(found->second);
}

}  // namespace

bool MemoryStore::keyExists(const StoreKey& key) {
  for (const auto& [where, value] : values)
    if (where.first.root == key.root &&
        (where.first.path == key.path || where.first.path.starts_with(key.path + "\\")))
      return true;
  return false;
}

// A key exists while it holds a value, as far as this store goes.
std::vector<std::string> MemoryStore::subkeys(const StoreKey& key) {
  std::vector<std::string> names;
  const std::string prefix = key.path + "\\";
  for (const auto& [where, value] : values) {
    if (where.first.root != key.root || !where.first.path.starts_with(prefix)) continue;
    std::string name = where.first.path.substr(prefix.size());
    name = name.substr(0, name.find('\\'));
    if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
  }
  return names;
}

std::optional<std::string> MemoryStore::readText(const StoreKey& key, std::string_view name) {
  return read<std::string>(values, key, name);
}

std::optional<std::uint32_t> MemoryStore::readNumber(const StoreKey& key, std::string_view name) {
  return read<std::uint32_t>(values, key, name);
}

std::optional<std::string> MemoryStore::readBytes(const StoreKey& key, std::string_view name) {
  auto bytes = read<std::vector<char>>(values, key, name);
  if (!bytes) return std::nullopt;
  return std::string(bytes->begin(), bytes->end());
}

bool MemoryStore::writeText(const StoreKey& key, std::string_view name, std::string_view text) {
  if (readOnly || key.root != StoreRoot::User) return false;
  values[{key, std::string(name)}] = std::string(text);
  return true;
}

bool MemoryStore::writeNumber(const StoreKey& key, std::string_view name, std::uint32_t number) {
  if (readOnly || key.root != StoreRoot::User) return false;
  values[{key, std::string(name)}] = number;
  return true;
}

bool MemoryStore::writeBytes(const StoreKey& key, std::string_view name, std::string_view bytes) {
  if (readOnly || key.root != StoreRoot::User) return false;
  values[{key, std::string(name)}] = std::vector<char>(bytes.begin(), bytes.end());
  return true;
}

bool MemoryStore::deleteValue(const StoreKey& key, std::string_view name) {
  if (readOnly) return false;
  values.erase({key, std::string(name)});
  return true;
}

}  // namespace tessaren::test
