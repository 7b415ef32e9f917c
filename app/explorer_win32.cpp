// Open picture folder: the shell's own way to select a file, and Explorer's where the shell
// has none (Wine).
#include <windows.h>
// after windows.h, which they need
#include <shellapi.h>
#include <shlobj.h>

#include "app/explorer.h"
#include "platform/com_handles.h"
#include "platform/wide_text.h"

namespace tessaren {

void showInExplorer(HWND owner, const std::string& folder, const std::string& fileName) {
  const std::string file = folder + fileName;
  const bool hasFile = GetFileAttributesA(file.c_str()) != INVALID_FILE_ATTRIBUTES;
  TaskMemory<PIDLIST_ABSOLUTE> item;
  if (hasFile &&
      SUCCEEDED(SHParseDisplayName(wideText(file).c_str(), nullptr, item.receive(), 0, nullptr)) &&
      SUCCEEDED(SHOpenFolderAndSelectItems(item.get(), 0, nullptr, 0)))
    return;
  const std::string arguments = hasFile ? "/select,\"" + file + "\"" : "\"" + folder + "\"";
  if (reinterpret_cast<INT_PTR>(ShellExecuteA(owner, "open", "explorer.exe", arguments.c_str(),
                                              nullptr, SW_SHOWNORMAL)) <= 32) {
    const std::string text = "The folder " + folder + " could not be opened.";
    MessageBoxA(owner, text.c_str(), "Tessaren", MB_OK | MB_ICONWARNING);
  }
}

}  // namespace tessaren
