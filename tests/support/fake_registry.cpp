// In-memory registry: names compare without regard to case, as in Windows.
#include "tests/support/fake_registry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "settings/settings_store.h"

namespace tessaren::test {
namespace {

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

const char* rootName(RegistryRoot root) {
  return root == RegistryRoot::ClassesRoot ? "HKCR" : "HKCU";
}

std::string hex(std::uint32_t value) {
  char text[16];
  std::snprintf(text, sizeof text, "0x%X", value);
  return text;
}

}  // namespace

FakeRegistry::FakeRegistry() { setRegistryApi(this); }
FakeRegistry::~FakeRegistry() { setRegistryApi(nullptr); }

FakeRegistry::Path FakeRegistry::pathOf(RegistryRoot root, const std::string& subkey) {
  return {root, lower(subkey)};
}

void FakeRegistry::addKeyWithParents(const Path& path) {
  std::string::size_type at = 0;
  while ((at = path.second.find('\\', at)) != std::string::npos) {
    keys_.insert({path.first, path.second.substr(0, at)});
    ++at;
  }
  keys_.insert(path);
}

long FakeRegistry::openKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
                           RegistryKey& key) {
  log.push_back(std::string("open ") + rootName(root) + "\\" + subkey + " " + hex(access));
  key = 0;
  if (denied_.count(root)) return 5;  // ERROR_ACCESS_DENIED
  Path path = pathOf(root, subkey);
  if (!keys_.count(path)) return kRegistryNotFound;
  key = nextHandle_++;
  open_[key] = path;
  return kRegistryOk;
}

long FakeRegistry::createKey(RegistryRoot root, const std::string& subkey, std::uint32_t access,
                             RegistryKey& key) {
  log.push_back(std::string("create ") + rootName(root) + "\\" + subkey + " " + hex(access));
  key = 0;
  if (denied_.count(root)) return 5;
  Path path = pathOf(root, subkey);
  addKeyWithParents(path);
  key = nextHandle_++;
  open_[key] = path;
  return kRegistryOk;
}

long FakeRegistry::getValue(RegistryKey key, const std::string& name, std::uint32_t flags,
                            std::uint32_t& type, std::uint8_t* data, std::uint32_t& size) {
  log.push_back("get " + name + " " + hex(flags) + " " + std::to_string(size));
  auto open = open_.find(key);
  if (open == open_.end()) return 6;  // ERROR_INVALID_HANDLE
  // RegGetValueA will not expand for its caller (Windows and Wine alike).
  if ((flags & kOnlyExpandSz) != 0 && (flags & kNoExpand) == 0) return kRegistryInvalidParameter;
  auto found = values_.find({open->second, lower(name)});
  if (found == values_.end()) return kRegistryNotFound;
  type = found->second.type;
  std::vector<std::uint8_t> stored = found->second.data;
  const bool isText = type == kRegSz || type == kRegExpandSz;
  if (isText && (stored.empty() || stored.back() != 0)) stored.push_back(0);
  const std::uint32_t allowed =
      (type == kRegSz ? kOnlySz : 0) | (type == kRegExpandSz ? kOnlyExpandSz : 0) |
      (type == kRegBinary ? kOnlyBinary : 0) | (type == kRegDword ? kOnlyDword : 0);
  if ((flags & allowed) == 0) {
    size = static_cast<std::uint32_t>(stored.size());
    return kRegistryUnsupportedType;
  }
  if (stored.size() > size) {
    size = static_cast<std::uint32_t>(stored.size());
    return kRegistryMoreData;
  }
  if (!stored.empty()) std::memcpy(data, stored.data(), stored.size());
  size = static_cast<std::uint32_t>(stored.size());
  return kRegistryOk;
}

long FakeRegistry::deleteValue(RegistryKey key, const std::string& name) {
  log.push_back("delete " + name);
  auto open = open_.find(key);
  if (open == open_.end()) return 6;
  return values_.erase({open->second, lower(name)}) ? kRegistryOk : kRegistryNotFound;
}

std::string FakeRegistry::expandEnvironment(const std::string& text) {
  std::string out;
  std::size_t at = 0;
  while (at < text.size()) {
    const std::size_t open = text.find('%', at);
    const std::size_t close = open == std::string::npos ? open : text.find('%', open + 1);
    if (close == std::string::npos) break;
    auto variable = environment.find(text.substr(open + 1, close - open - 1));
    out += text.substr(at, open - at);
    out += variable != environment.end() ? variable->second : text.substr(open, close - open + 1);
    at = close + 1;
  }
  return out + text.substr(std::min(at, text.size()));
}

long FakeRegistry::setValue(RegistryKey key, const std::string& name, std::uint32_t type,
                            const std::uint8_t* data, std::uint32_t size) {
  log.push_back("set " + name + " " + std::to_string(type) + " " + std::to_string(size));
  auto open = open_.find(key);
  if (open == open_.end()) return 6;
  values_[{open->second, lower(name)}] =
      StoredValue{type, std::vector<std::uint8_t>(data, data + size)};
  return kRegistryOk;
}

long FakeRegistry::closeKey(RegistryKey key) {
  log.push_back("close");
  return open_.erase(key) ? kRegistryOk : 6;
}

void FakeRegistry::putRaw(RegistryRoot root, const std::string& subkey, const std::string& name,
                          std::uint32_t type, std::vector<std::uint8_t> data) {
  Path path = pathOf(root, subkey);
  addKeyWithParents(path);
  values_[{path, lower(name)}] = StoredValue{type, std::move(data)};
}

void FakeRegistry::putText(RegistryRoot root, const std::string& subkey, const std::string& name,
                           const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  putRaw(root, subkey, name, kRegSz, std::move(data));
}

void FakeRegistry::putTextOfType(RegistryRoot root, const std::string& subkey,
                                 const std::string& name, std::uint32_t type,
                                 const std::string& text) {
  std::vector<std::uint8_t> data(text.begin(), text.end());
  data.push_back(0);
  putRaw(root, subkey, name, type, std::move(data));
}

void FakeRegistry::putNumber(RegistryRoot root, const std::string& subkey, const std::string& name,
                             std::int32_t number) {
  auto bits = static_cast<std::uint32_t>(number);
  putRaw(root, subkey, name, kRegDword,
         {static_cast<std::uint8_t>(bits), static_cast<std::uint8_t>(bits >> 8),
          static_cast<std::uint8_t>(bits >> 16), static_cast<std::uint8_t>(bits >> 24)});
}

void FakeRegistry::erase(RegistryRoot root, const std::string& subkey, const std::string& name) {
  values_.erase({pathOf(root, subkey), lower(name)});
}

bool FakeRegistry::has(RegistryRoot root, const std::string& subkey,
                       const std::string& name) const {
  return values_.count({pathOf(root, subkey), lower(name)}) != 0;
}

StoredValue FakeRegistry::value(RegistryRoot root, const std::string& subkey,
                                const std::string& name) const {
  auto found = values_.find({pathOf(root, subkey), lower(name)});
  return found == values_.end() ? StoredValue{} : found->second;
}

bool FakeRegistry::hasKey(RegistryRoot root, const std::string& subkey) const {
  return keys_.count(pathOf(root, subkey)) != 0;
}

std::string perUserSettingsKey() { return "Software\\Classes\\" + kSettingsSubkey; }

}  // namespace tessaren::test
