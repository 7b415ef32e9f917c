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
constexpr long kRegistryInvalidParameter = 87;    // ERROR_INVALID_PARAMETER
constexpr long kRegistryMoreData = 234;           // ERROR_MORE_DATA
constexpr long kRegistryUnsupportedType = 1630;   // ERROR_UNSUPPORTED_TYPE
constexpr std::uint32_t kKeyRead = 0x20019;       // KEY_READ
constexpr std::uint32_t kKeyAllAccess = 0xF003F;  // KEY_ALL_ACCESS
constexpr std::uint32_t kRegSz = 1;               // REG_SZ
constexpr std::uint32_t kRegExpandSz = 2;         // REG_EXPAND_SZ
constexpr std::uint32_t kRegBinary = 3;           // REG_BINARY
constexpr std::uint32_t kRegDword = 4;            // REG_DWORD
constexpr std::uint32_t kRegQword = 11;           // REG_QWORD

// RegGetValueA's type restrictions and options.
constexpr std::uint32_t kOnlySz = 0x02;          // RRF_RT_REG_SZ
constexpr std::uint32_t kOnlyExpandSz = 0x04;    // RRF_RT_REG_EXPAND_SZ
constexpr std::uint32_t kOnlyBinary = 0x08;      // RRF_RT_REG_BINARY
constexpr std::uint32_t kOnlyDword = 0x10;       // RRF_RT_REG_DWORD
constexpr std::uint32_t kNoExpand = 0x10000000;  // RRF_NOEXPAND

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
  // RegGetValueA(key, NULL, name, flags, &type, data, &size): only the types that flags
  // allow are read (another type answers kRegistryUnsupportedType); size is the room in
  // data on entry and the length of the data on return; type is the stored type.
  virtual long getValue(RegistryKey key, const std::string& name, std::uint32_t flags,
                        std::uint32_t& type, std::uint8_t* data, std::uint32_t& size) = 0;
  // RegSetValueExA(key, name, 0, type, data, size)
  virtual long setValue(RegistryKey key, const std::string& name, std::uint32_t type,
                        const std::uint8_t* data, std::uint32_t size) = 0;
  // RegDeleteValueA(key, name)
  virtual long deleteValue(RegistryKey key, const std::string& name) = 0;
  // RegCloseKey(key)
  virtual long closeKey(RegistryKey key) = 0;
  // ExpandEnvironmentStringsA(text, ...): the text of a REG_EXPAND_SZ value with its
  // %NAME% references replaced. RegGetValueA refuses to expand for us: with
  // RRF_RT_REG_EXPAND_SZ it insists on RRF_NOEXPAND.
  virtual std::string expandEnvironment(const std::string& text) = 0;
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
