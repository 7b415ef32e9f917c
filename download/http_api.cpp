// Chooses between the platform's HTTP client and one that a test has put in place.
#include "download/http_api.h"

namespace tessaren {
namespace {
HttpApi* replacement = nullptr;
}

HttpApi& httpApi() { return replacement ? *replacement : platformHttpApi(); }

void setHttpApi(HttpApi* api) { replacement = api; }

}  // namespace tessaren
