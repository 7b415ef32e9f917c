// A value store in memory: each value keeps the type it was written with, and a read of
// another type finds nothing, as the registry's typed reads do.
#pragma once

#include <map>
#include <string>
#include <tuple>
#include <variant>
#include <vector>

#include "settings/value_store.h"

namespace tessaren::test {

class MemoryStore final : public ValueStore {
 public:
  using Value = std::variant<std::string, std::uint32_t, std::vector<char>>;  // text, number, bytes

  bool keyExists(const StoreKey& key) override;
  std::optional<std::string> readText(const StoreKey& key, std::string_view name) override;
  std::optional<std::uint32_t> readNumber(const StoreKey& key, std::string_view name) override;
  std::optional<std::string> readBytes(const StoreKey& key, std::string_view name) override;
  bool writeText(const StoreKey& key, std::string_view name, std::string_view text) override;
  bool writeNumber(const StoreKey& key, std::string_view name, std::uint32_t number) override;
  bool writeBytes(const StoreKey& key, std::string_view name, std::string_view bytes) override;
  bool deleteValue(const StoreKey& key, std::string_view name) override;
  std::vector<std::string> subkeys(const StoreKey& key) override;

  // Every value, by key and name, for tests to seed and look at.
  std::map<std::pair<StoreKey, std::string>, Value> values;
  // Writes refused from now on (a key the user may not write).
  bool readOnly = false;
};

}  // namespace tessaren::test
