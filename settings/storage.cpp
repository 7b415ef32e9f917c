// Typed registry reads and writes. Every access opens its key, reads or writes one value
// and closes the key again.
#include "settings/storage.h"

#include <algorithm>
#include <cstring>

#include "settings/registry_api.h"

namespace tessaren {
namespace {

inline const std::string kPerUserClassesPrefix = "Software\\Classes\\";
// Longer texts than this are not ours: a URL or a folder is far shorter.
constexpr std::uint32_t kLongestText = 64 * 1024;

// Opens the per-user key for reading, or else the machine-wide one that an older
// installation may have written.
bool openSettingsKey(const std::string& subkey, ScopedRegistryKey& key) {
  RegistryApi& registry = registryApi();
  if (registry.openKey(RegistryRoot::CurrentUser, kPerUserClassesPrefix + subkey, kKeyRead,
                       key.receive()) == kRegistryOk)
    return true;
  return registry.openKey(RegistryRoot::ClassesRoot, subkey, kKeyRead, key.receive()) ==
         kRegistryOk;
}

// The value's bytes when it has one of the types that flags allow; grows the buffer when
// the value is longer than the first guess.
std::optional<std::vector<std::uint8_t>> readBytes(RegistryKey key, const std::string& name,
                                                   std::uint32_t flags, std::uint32_t& type) {
  std::vector<std::uint8_t> data(1024);
  for (;;) {
    auto size = static_cast<std::uint32_t>(data.size());
    const long result = registryApi().getValue(key, name, flags, type, data.data(), size);
    if (result == kRegistryOk) {
      data.resize(std::min<std::size_t>(size, data.size()));
      return data;
    }
    if (result != kRegistryMoreData || size <= data.size() || size > kLongestText)
      return std::nullopt;
    data.resize(size);
  }
}

std::optional<std::int32_t> numberFrom(RegistryKey key, const std::string& name) {
  std::uint32_t type = 0;
  const auto data = readBytes(key, name, kOnlyDword, type);
  // Wine hands out a REG_DWORD of any length: the size is checked here, not trusted.
  if (!data || type != kRegDword || data->size() != 4) return std::nullopt;
  std::uint32_t bits = 0;
  for (int i = 3; i >= 0; --i) bits = (bits << 8) | (*data)[static_cast<std::size_t>(i)];
  return static_cast<std::int32_t>(bits);
}

std::optional<std::string> textFrom(RegistryKey key, const std::string& name) {
  std::uint32_t type = 0;
  const auto data = readBytes(key, name, kOnlySz | kOnlyExpandSz | kNoExpand, type);
  if (!data || (type != kRegSz && type != kRegExpandSz)) return std::nullopt;
  const auto* bytes = reinterpret_cast<const char*>(data->data());
  const void* nul = std::memchr(bytes, '\0', data->size());
  std::string text(bytes, nul ? static_cast<const char*>(nul) - bytes : data->size());
  if (type == kRegExpandSz) text = registryApi().expandEnvironment(text);
  return text;
}

bool writeUserValue(const std::string& subkey, const std::string& name, std::uint32_t type,
                    const std::uint8_t* data, std::uint32_t size) {
  ScopedRegistryKey key;
  if (registryApi().createKey(RegistryRoot::CurrentUser, subkey, kKeyAllAccess, key.receive()) !=
      kRegistryOk)
    return false;
  return registryApi().setValue(key.get(), name, type, data, size) == kRegistryOk;
}

bool writeUserTextValue(const std::string& subkey, const std::string& name,
                        const std::string& text) {
  return writeUserValue(subkey, name, kRegSz, reinterpret_cast<const std::uint8_t*>(text.c_str()),
                        static_cast<std::uint32_t>(text.size() + 1));
}

}  // namespace

std::int32_t RegistryAccess::readNumber(const std::string& subkey, const std::string& name,
                                        std::int32_t& destination) const {
  ScopedRegistryKey key;
  if (!openSettingsKey(subkey, key)) return kReadNoKey;
  const std::optional<std::int32_t> number = numberFrom(key.get(), name);
  if (!number) return kReadNoValue;
  destination = *number;
  return kReadOk;
}

std::int32_t RegistryAccess::readText(const std::string& subkey, const std::string& name,
                                      std::string& destination) const {
  ScopedRegistryKey key;
  if (!openSettingsKey(subkey, key)) return kReadNoKey;
  std::optional<std::string> text = textFrom(key.get(), name);
  if (!text) return kReadNoValue;
  destination = std::move(*text);
  return kReadOk;
}

void RegistryAccess::writeText(const std::string& subkey, const std::string& name,
                               const std::string& text) const {
  writeUserTextValue(kPerUserClassesPrefix + subkey, name, text);
}

void RegistryAccess::writeNumber(const std::string& subkey, const std::string& name,
                                 std::int32_t number) const {
  const auto bits = static_cast<std::uint32_t>(number);
  const std::uint8_t data[4] = {
      static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
      static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)};
  writeUserValue(kPerUserClassesPrefix + subkey, name, kRegDword, data, sizeof data);
}

void RegistryAccess::deleteValue(const std::string& subkey, const std::string& name) const {
  deleteUserValue(kPerUserClassesPrefix + subkey, name);
}

std::optional<std::string> readUserText(const std::string& subkey, const std::string& name) {
  ScopedRegistryKey key;
  if (registryApi().openKey(RegistryRoot::CurrentUser, subkey, kKeyRead, key.receive()) !=
      kRegistryOk)
    return std::nullopt;
  return textFrom(key.get(), name);
}

std::optional<std::vector<std::uint8_t>> readUserBinary(const std::string& subkey,
                                                        const std::string& name) {
  ScopedRegistryKey key;
  if (registryApi().openKey(RegistryRoot::CurrentUser, subkey, kKeyRead, key.receive()) !=
      kRegistryOk)
    return std::nullopt;
  std::uint32_t type = 0;
  auto data = readBytes(key.get(), name, kOnlyBinary, type);
  if (!data || type != kRegBinary) return std::nullopt;
  return data;
}

bool writeUserText(const std::string& subkey, const std::string& name, const std::string& text) {
  return writeUserTextValue(subkey, name, text);
}

bool writeUserBinary(const std::string& subkey, const std::string& name,
                     const std::vector<std::uint8_t>& data) {
  return writeUserValue(subkey, name, kRegBinary, data.data(),
                        static_cast<std::uint32_t>(data.size()));
}

bool deleteUserValue(const std::string& subkey, const std::string& name) {
  ScopedRegistryKey key;
  const long opened =
      registryApi().openKey(RegistryRoot::CurrentUser, subkey, kKeyAllAccess, key.receive());
  if (opened == kRegistryNotFound) return true;
  if (opened != kRegistryOk) return false;
  const long result = registryApi().deleteValue(key.get(), name);
  return result == kRegistryOk || result == kRegistryNotFound;
}

}  // namespace tessaren
