// Native builds: no per-user application folder; the current directory stands in.
#include "settings/default_directory.h"

namespace tessaren {

std::string platformDefaultDownloadDirectory() { return "./"; }

}  // namespace tessaren
