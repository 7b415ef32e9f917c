// Typed values in a tree of keys: the registry on Windows, a map in tests. Every read
// names the type it accepts; a value that is absent and a value of another type or size
// are the same answer, nothing (a REG_SZ "30" is never the number 0x3033). Writes go to
// the current user's part of the tree only.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaren {

enum class StoreRoot {
  User,     // HKEY_CURRENT_USER
  Classes,  // HKEY_CLASSES_ROOT: the machine-wide classes merged with the user's (read only)
};

struct StoreKey {
  StoreRoot root = StoreRoot::User;
  std::string path;  // "Software\\Classes\\Tessaren\\Config"

  auto operator<=>(const StoreKey&) const = default;
};

class ValueStore {
 public:
  virtual ~ValueStore() = default;

  virtual bool keyExists(const StoreKey& key) = 0;
  // A REG_SZ, or a REG_EXPAND_SZ with its %NAME% references expanded; the text ends at
  // its first NUL.
  virtual std::optional<std::string> readText(const StoreKey& key, std::string_view name) = 0;
  // A REG_DWORD of exactly four bytes.
  virtual std::optional<std::uint32_t> readNumber(const StoreKey& key, std::string_view name) = 0;
  // A REG_BINARY: any bytes, kept exactly.
  virtual std::optional<std::string> readBytes(const StoreKey& key, std::string_view name) = 0;

  // Each creates the key with its parents when missing; true when the value is stored.
  virtual bool writeText(const StoreKey& key, std::string_view name, std::string_view text) = 0;
  virtual bool writeNumber(const StoreKey& key, std::string_view name, std::uint32_t number) = 0;
  virtual bool writeBytes(const StoreKey& key, std::string_view name, std::string_view bytes) = 0;
  // True when the value is gone afterwards, also when it never existed. (Keys are removed
  // by the uninstaller.)
  virtual bool deleteValue(const StoreKey& key, std::string_view name) = 0;
  // The names of the key's direct subkeys; none when the key does not exist.
  virtual std::vector<std::string> subkeys(const StoreKey& key) = 0;
};

// The registry. Windows build only.
ValueStore& registryStore();

}  // namespace tessaren
