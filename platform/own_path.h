// The full path of the running program's own file, as UTF-8, however long. Windows only.
#pragma once

#include <string>

namespace tessaren {

std::string ownExecutablePath();

}  // namespace tessaren
