// %LOCALAPPDATA%\Tessaren\ through the shell, created when missing. Should the shell not
// know the folder, the user's temporary directory takes its place.
#include <shlobj.h>
#include <windows.h>

#include "settings/default_folder.h"

namespace tessaren {

std::string defaultPictureFolder() {
  char folder[MAX_PATH] = {};
  std::string base;
  if (SUCCEEDED(SHGetFolderPathA(nullptr, CSIDL_LOCAL_APPDATA | CSIDL_FLAG_CREATE, nullptr,
                                 SHGFP_TYPE_CURRENT, folder))) {
    base = folder;
  } else if (DWORD length = GetTempPathA(MAX_PATH, folder); length > 0 && length < MAX_PATH) {
    base = folder;
  }
  if (!base.empty() && base.back() == '\\') base.pop_back();
  std::string directory = base + "\\Tessaren\\";
  CreateDirectoryA(directory.c_str(), nullptr);  // already there is fine
  return directory;
}

}  // namespace tessaren
