// The Win32 registry behind RegistryApi: each call is the registry function of the same
// name with the arguments the portable code chose, nothing added.
#include <windows.h>

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
  long queryValue(RegistryKey key, const std::string& name, std::uint8_t* data,
                  std::uint32_t& size) override {
    DWORD length = size;
    LONG result = RegQueryValueExA(toHkey(key), name.c_str(), nullptr, nullptr, data, &length);
    size = length;
    return result;
  }
  long setValue(RegistryKey key, const std::string& name, std::uint32_t type,
                const std::uint8_t* data, std::uint32_t size) override {
    return RegSetValueExA(toHkey(key), name.c_str(), 0, type, data, size);
  }
  long closeKey(RegistryKey key) override { return RegCloseKey(toHkey(key)); }
};

}  // namespace

RegistryApi& platformRegistryApi() {
  static Win32Registry registry;
  return registry;
}

}  // namespace tessaren
