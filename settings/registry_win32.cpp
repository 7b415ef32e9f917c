// The Win32 registry behind RegistryApi: each call is the registry function of the same
// name with the arguments the portable code chose, nothing added.
#include <windows.h>

#include <cstring>

#include "settings/registry_api.h"

namespace tessaren {
namespace {

HKEY rootKey(RegistryRoot root) {
  return root == RegistryRoot::ClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}

HKEY toHkey(RegistryKey key) { return reinterpret_cast<HKEY>(key); }

class Win32Registry final : public RegistryApi {
 public:
  long openKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
               RegistryKey& key) override {
    HKEY opened = nullptr;
    LONG result = RegOpenKeyExA(rootKey(root), subkey.c_str(), 0, access, &opened);
    key = result == ERROR_SUCCESS ? reinterpret_cast<RegistryKey>(opened) : 0;
    return result;
  }
  long createKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
                 RegistryKey& key) override {
    HKEY created = nullptr;
    DWORD disposition = 0;
    LONG result = RegCreateKeyExA(rootKey(root), subkey.c_str(), 0, nullptr,
                                  REG_OPTION_NON_VOLATILE, access, nullptr, &created, &disposition);
    key = result == ERROR_SUCCESS ? reinterpret_cast<RegistryKey>(created) : 0;
    return result;
  }
  long getValue(RegistryKey key, const std::string& name, std::uint32_t flags, std::uint32_t& type,
                std::uint8_t* data, std::uint32_t& size) override {
    DWORD storedType = 0;
    DWORD length = size;
    LONG result =
        RegGetValueA(toHkey(key), nullptr, name.c_str(), flags, &storedType, data, &length);
    type = storedType;
    size = length;
    return result;
  }
  long setValue(RegistryKey key, const std::string& name, std::uint32_t type,
                const std::uint8_t* data, std::uint32_t size) override {
    return RegSetValueExA(toHkey(key), name.c_str(), 0, type, data, size);
  }
  long deleteValue(RegistryKey key, const std::string& name) override {
    return RegDeleteValueA(toHkey(key), name.c_str());
  }
  long closeKey(RegistryKey key) override { return RegCloseKey(toHkey(key)); }
  std::string expandEnvironment(const std::string& text) override {
    // The answer counts the terminating NUL (for the ANSI call it may count more than the
    // text needs, so the text ends where the NUL is); the variables can change between calls.
    std::string expanded(256, '\0');
    for (int attempt = 0; attempt < 3; ++attempt) {
      DWORD needed = ExpandEnvironmentStringsA(text.c_str(), expanded.data(),
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
};

}  // namespace

RegistryApi& platformRegistryApi() {
  static Win32Registry registry;
  return registry;
}

}  // namespace tessaren
