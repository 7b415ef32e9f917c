// The native build has no registry: every key is missing and nothing can be created.
#include "settings/registry_api.h"

namespace tessaren {
namespace {

class NoRegistry final : public RegistryApi {
 public:
  long openKey(RegistryRoot, const std::string&, std::uint32_t, RegistryKey&) override {
    return kRegistryNotFound;
  }
  long createKey(RegistryRoot, const std::string&, std::uint32_t, RegistryKey&) override {
    return kRegistryNotFound;
  }
  long getValue(RegistryKey, const std::string&, std::uint32_t, std::uint32_t&, std::uint8_t*,
                std::uint32_t&) override {
    return kRegistryNotFound;
  }
  long setValue(RegistryKey, const std::string&, std::uint32_t, const std::uint8_t*,
                std::uint32_t) override {
    return kRegistryNotFound;
  }
  long deleteValue(RegistryKey, const std::string&) override { return kRegistryNotFound; }
  long closeKey(RegistryKey) override { return kRegistryOk; }
  std::string expandEnvironment(const std::string& text) override { return text; }
};

}  // namespace

RegistryApi& platformRegistryApi() {
  static NoRegistry none;
  return none;
}

}  // namespace tessaren
