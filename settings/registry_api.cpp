// Chooses between the platform's registry and one that a test has put in place.
#include "settings/registry_api.h"

namespace tessaren {
namespace {
RegistryApi* replacement = nullptr;
}

RegistryApi& registryApi() { return replacement ? *replacement : platformRegistryApi(); }

void setRegistryApi(RegistryApi* api) { replacement = api; }

}  // namespace tessaren
