// The Win32 desktop behind DesktopApi: each call is the Win32 function named in the
// interface, with the arguments the portable code chose.
#include <windows.h>

#include "imaging/desktop_api.h"

namespace tessaren {
namespace {

class Win32Desktop final : public DesktopApi {
 public:
  bool setWallpaper(const std::string& bmpPath) override {
    // The call takes a non-const pointer but does not write through it.
    return SystemParametersInfoA(SPI_SETDESKWALLPAPER, 0, const_cast<char*>(bmpPath.c_str()),
                                 SPIF_UPDATEINIFILE | SPIF_SENDWININICHANGE) != FALSE;
  }
  bool replaceFile(const std::string& from, const std::string& to) override {
    return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != FALSE;
  }
};

}  // namespace

DesktopApi& platformDesktopApi() {
  static Win32Desktop desktop;
  return desktop;
}

}  // namespace tessaren
