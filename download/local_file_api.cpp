// Chooses between the platform's file functions and those that a test has put in place.
#include "download/local_file_api.h"

namespace tessaren {
namespace {
LocalFileApi* replacement = nullptr;
}

LocalFileApi& localFileApi() { return replacement ? *replacement : platformLocalFileApi(); }

void setLocalFileApi(LocalFileApi* api) { replacement = api; }

}  // namespace tessaren
