// The tray service in use, switchable for tests.
#include "tray/tray_api.h"

namespace tessaren {
namespace {
TrayApi* replacement = nullptr;
}  // namespace

TrayApi& trayApi() { return replacement != nullptr ? *replacement : platformTrayApi(); }

void setTrayApi(TrayApi* api) { replacement = api; }

}  // namespace tessaren
