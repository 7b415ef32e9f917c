// The registry calls that Tessaren makes, behind one small interface: the Win32 side
// (registry_win32.cpp) passes them straight on, and native tests stand in a double.
#pragma once

#include <cstdint>
#include <string>

namespace tessaren {

enum class RegistryRoot { ClassesRoot, CurrentUser };

// An open key as the platform hands it out; 0 means none.
using RegistryKey = std::uintptr_t;

// Win32 values that the portable code passes through unchanged.
constexpr long kRegistryOk = 0;                   // ERROR_SUCCESS
constexpr long kRegistryNotFound = 2;             // ERROR_FILE_NOT_FOUND
constexpr long kRegistryMoreData = 234;           // ERROR_MORE_DATA
constexpr std::uint32_t kKeyRead = 0x20019;       // KEY_READ
constexpr std::uint32_t kKeyAllAccess = 0xF003F;  // KEY_ALL_ACCESS
constexpr std::uint32_t kRegSz = 1;               // REG_SZ
constexpr std::uint32_t kRegDword = 4;            // REG_DWORD

class RegistryApi {
 public:
  virtual ~RegistryApi() = default;
  // Each call answers with the Win32 error code, kRegistryOk on success.
  // RegOpenKeyExA(root, subkey, 0, access, &key)
  virtual long openKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
                       RegistryKey& key) = 0;
  // RegCreateKeyExA(root, subkey, 0, NULL, REG_OPTION_NON_VOLATILE, access, NULL, &key,
  // &disposition)
  virtual long createKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
                         RegistryKey& key) = 0;
  // RegQueryValueExA(key, name, NULL, NULL, data, &size): size is the room in data on
  // entry and the length of the stored data on return.
  virtual long queryValue(RegistryKey key, const std::string& name, std::uint8_t* data,
                          std::uint32_t& size) = 0;
  // RegSetValueExA(key, name, 0, type, data, size)
  virtual long setValue(RegistryKey key, const std::string& name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) = 0;
  // RegCloseKey(key)
  virtual long closeKey(RegistryKey key) = 0;
};

// The registry in use: the platform's own unless a test has put another in place.
RegistryApi& registryApi();
// Puts api in place of the platform's registry; nullptr restores the platform's.
void setRegistryApi(RegistryApi* api);

// The platform's registry: Win32 in the Windows build; natively one that has no keys.
RegistryApi& platformRegistryApi();

// An open key that is closed when it goes out of scope, on every path.
class ScopedRegistryKey {
 public:
  ScopedRegistryKey() = default;
  ~ScopedRegistryKey() { reset(); }
  ScopedRegistryKey(const ScopedRegistryKey&) = delete;
  ScopedRegistryKey& operator=(const ScopedRegistryKey&) = delete;

  RegistryKey& receive() {
    reset();
    return key_;
  }
  RegistryKey get() const { return key_; }
  explicit operator bool() const { return key_ != 0; }
  void reset() {
    if (key_ != 0) registryApi().closeKey(key_);
    key_ = 0;
  }

 private:
  RegistryKey key_ = 0;
};

}  // namespace tessaren
