// The registry behind ValueStore: every Reg* call of the program, and the type and size
// rules of its values. Each access opens its key, reads or writes one value and closes it.
#include <windows.h>

#include <cstring>
#include <vector>

#include "platform/registry_handles.h"
#include "settings/value_store.h"

namespace tessaren {
namespace {

// Longer values than this are not ours: a URL or a folder is far shorter.
constexpr DWORD kLongestValue = 64 * 1024;

HKEY rootOf(StoreRoot root) {
  return root == StoreRoot::Classes ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}

OwnedKey openForReading(const StoreKey& key) {
  OwnedKey opened;
  RegOpenKeyExA(rootOf(key.root), key.path.c_str(), 0, KEY_READ, opened.receive());
  return opened;
}

// The value's bytes when its type is one that flags allow; the buffer grows when the
// value is longer than the first guess. type is the stored type.
std::optional<std::vector<BYTE>> readRaw(const StoreKey& key, std::string_view name, DWORD flags,
                                         DWORD& type) {
  const OwnedKey opened = openForReading(key);
  if (!opened) return std::nullopt;
  const std::string valueName(name);
  std::vector<BYTE> data(256);
  for (;;) {
    auto size = static_cast<DWORD>(data.size());
    const LSTATUS result =
        RegGetValueA(opened.get(), nullptr, valueName.c_str(), flags, &type, data.data(), &size);
    if (result == ERROR_SUCCESS) {
      data.resize(std::min<std::size_t>(size, data.size()));
      return data;
    }
    if (result != ERROR_MORE_DATA || size <= data.size() || size > kLongestValue)
      return std::nullopt;
    data.resize(size);
  }
}

std::string expandEnvironment(const std::string& text) {
  // The answer counts the terminating NUL (for the ANSI call it may count more than the
  // text needs, so the text ends where the NUL is); the variables can change between calls.
  std::string expanded(256, '\0');
  for (int attempt = 0; attempt < 3; ++attempt) {
    const DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded.data(),
                                                   static_cast<DWORD>(expanded.size()));
    if (needed == 0) return text;
    if (needed <= expanded.size()) {
      expanded.resize(std::strlen(expanded.c_str()));
      return expanded;
    }
    expanded.assign(needed, '\0');
  }
  return text;
}

bool writeRaw(const StoreKey& key, std::string_view name, DWORD type, const void* data,
              std::size_t size) {
  if (key.root != StoreRoot::User) return false;
  OwnedKey created;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, key.path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, created.receive(), nullptr) != ERROR_SUCCESS)
    return false;
  return RegSetValueExA(created.get(), std::string(name).c_str(), 0, type,
                        static_cast<const BYTE*>(data), static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

class RegistryStore final : public ValueStore {
 public:
  bool keyExists(const StoreKey& key) override { return static_cast<bool>(openForReading(key)); }

  std::vector<std::string> subkeys(const StoreKey& key) override {
    std::vector<std::string> names;
    const OwnedKey opened = openForReading(key);
    if (!opened) return names;
    // A key name is at most 255 characters.
    char name[256];
    for (DWORD index = 0;; ++index) {
      DWORD length = sizeof name;
      const LSTATUS result =
          RegEnumKeyExA(opened.get(), index, name, &length, nullptr, nullptr, nullptr, nullptr);
      if (result == ERROR_MORE_DATA) continue;  // not one of ours
      if (result != ERROR_SUCCESS) break;
      names.emplace_back(name, length);
    }
    return names;
  }

  std::optional<std::string> readText(const StoreKey& key, std::string_view name) override {
    // RegGetValueA will not expand for us: with RRF_RT_REG_EXPAND_SZ it insists on
    // RRF_NOEXPAND (Windows and Wine alike), so the expansion is ours.
    DWORD type = 0;
    const auto data = readRaw(key, name, RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND, type);
    if (!data || (type != REG_SZ && type != REG_EXPAND_SZ)) return std::nullopt;
    const auto* bytes = reinterpret_cast<const char*>(data->data());
    const void* nul = std::memchr(bytes, '\0', data->size());
    std::string text(bytes, nul ? static_cast<const char*>(nul) - bytes : data->size());
    return type == REG_EXPAND_SZ ? expandEnvironment(text) : text;
  }

  std::optional<std::uint32_t> readNumber(const StoreKey& key, std::string_view name) override {
    DWORD type = 0;
    const auto data = readRaw(key, name, RRF_RT_REG_DWORD, type);
    // Wine hands out a REG_DWORD of any length: the size is checked here, not trusted.
    if (!data || type != REG_DWORD || data->size() != 4) return std::nullopt;
    std::uint32_t number = 0;
    std::memcpy(&number, data->data(), 4);
    return number;
  }

  std::optional<std::string> readBytes(const StoreKey& key, std::string_view name) override {
    DWORD type = 0;
    const auto data = readRaw(key, name, RRF_RT_REG_BINARY, type);
    if (!data || type != REG_BINARY) return std::nullopt;
    return std::string(data->begin(), data->end());
  }

  bool writeText(const StoreKey& key, std::string_view name, std::string_view text) override {
    const std::string terminated(text);
    return writeRaw(key, name, REG_SZ, terminated.c_str(), terminated.size() + 1);
  }
  bool writeNumber(const StoreKey& key, std::string_view name, std::uint32_t number) override {
    const DWORD value = number;
    return writeRaw(key, name, REG_DWORD, &value, sizeof value);
  }
  bool writeBytes(const StoreKey& key, std::string_view name, std::string_view bytes) override {
    return writeRaw(key, name, REG_BINARY, bytes.data(), bytes.size());
  }

  bool deleteValue(const StoreKey& key, std::string_view name) override {
    if (key.root != StoreRoot::User) return false;
    OwnedKey opened;
    const LSTATUS result =
        RegOpenKeyExA(HKEY_CURRENT_USER, key.path.c_str(), 0, KEY_SET_VALUE, opened.receive());
    if (result == ERROR_FILE_NOT_FOUND) return true;
    if (result != ERROR_SUCCESS) return false;
    const LSTATUS deleted = RegDeleteValueA(opened.get(), std::string(name).c_str());
    return deleted == ERROR_SUCCESS || deleted == ERROR_FILE_NOT_FOUND;
  }
};

}  // namespace

ValueStore& registryStore() {
  static RegistryStore registry;
  return registry;
}

}  // namespace tessaren
