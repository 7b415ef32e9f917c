// The picture folder of the first-run defaults, where the log lives too: the user's local
// application-data folder followed by "\Tessaren\", a place a standard user may always
// write to. Windows build only.
#pragma once

#include <string>

namespace tessaren {

// The folder, ending in a backslash; it is created when missing.
std::string defaultPictureFolder();

}  // namespace tessaren
