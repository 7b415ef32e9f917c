// A registry in memory with the byte-level behaviour of the Win32 calls, and a log of
// every call so that tests can check the exact calls and their order.
#pragma once

#include <map>
#include <set>
#include <string>
#include <vector>

#include "settings/registry_api.h"

namespace tessaren::test {

struct StoredValue {
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

class FakeRegistry final : public RegistryApi {
 public:
  // Installs itself as the registry in use for its lifetime.
  FakeRegistry();
  ~FakeRegistry() override;

  long openKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
               RegistryKey& key) override;
  long createKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
                 RegistryKey& key) override;
  // As RegGetValueA under Wine: the type restriction and the NUL that texts are given
  // are kept; a REG_DWORD of another length than four is handed out as it is.
  long getValue(RegistryKey key, const std::string& name, std::uint32_t flags, std::uint32_t& type,
                std::uint8_t* data, std::uint32_t& size) override;
  long setValue(RegistryKey key, const std::string& name, std::uint32_t type,
                const std::uint8_t* data, std::uint32_t size) override;
  long deleteValue(RegistryKey key, const std::string& name) override;
  long closeKey(RegistryKey key) override;
  // %NAME% is replaced from environment, every other text stays.
  std::string expandEnvironment(const std::string& text) override;
  std::map<std::string, std::string> environment;

  // Seeding and inspection, without going through the log.
  void putText(RegistryRoot root, const std::string& subkey, const std::string& name,
               const std::string& text);  // stored with its NUL
  void putNumber(RegistryRoot root, const std::string& subkey, const std::string& name,
                 std::int32_t number);
  void putRaw(RegistryRoot root, const std::string& subkey, const std::string& name,
              std::uint32_t type, std::vector<std::uint8_t> data);
  void erase(RegistryRoot root, const std::string& subkey, const std::string& name);
  bool has(RegistryRoot root, const std::string& subkey, const std::string& name) const;
  StoredValue value(RegistryRoot root, const std::string& subkey, const std::string& name) const;
  bool hasKey(RegistryRoot root, const std::string& subkey) const;

  // Keys under this root can be neither opened nor created (access denied).
  void denyRoot(RegistryRoot root) { denied_.insert(root); }

  std::vector<std::string> log;  // e.g. "open HKCU\Software\Classes\Tessaren\Config 0x20019"
  // Stores text the way another program (reg add, a .reg file) may: REG_SZ unless told.
  void putTextOfType(RegistryRoot root, const std::string& subkey, const std::string& name,
                     std::uint32_t type, const std::string& text);
  int openKeys() const { return static_cast<int>(open_.size()); }

 private:
  using Path = std::pair<RegistryRoot, std::string>;
  static Path pathOf(RegistryRoot root, const std::string& subkey);
  void addKeyWithParents(const Path& path);

  std::set<Path> keys_;
  std::map<std::pair<Path, std::string>, StoredValue> values_;
  std::map<RegistryKey, Path> open_;
  std::set<RegistryRoot> denied_;
  RegistryKey nextHandle_ = 0x100;
};

// The settings key as the tests name it.
std::string perUserSettingsKey();

}  // namespace tessaren::test
