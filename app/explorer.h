// Explorer on a folder, with one of its files selected when it is there. Windows only.
#pragma once

#include <windows.h>

#include <string>

namespace tessaren {

// Says so in a message box owned by owner when the folder cannot be shown.
void showInExplorer(HWND owner, const std::string& folder, const std::string& fileName);

}  // namespace tessaren
