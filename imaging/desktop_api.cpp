// Which desktop the wallpaper step talks to.
#include "imaging/desktop_api.h"

namespace tessaren {
namespace {
DesktopApi* replacement = nullptr;
}

DesktopApi& desktopApi() { return replacement ? *replacement : platformDesktopApi(); }

void setDesktopApi(DesktopApi* api) { replacement = api; }

}  // namespace tessaren
