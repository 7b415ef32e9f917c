// Open picture folder: the shell's own way to select a file, and Explorer's where the shell
// has none (Wine). Open log: the shell's program for the type, else Notepad.
#include <windows.h>
// after windows.h, which they need
#include <shellapi.h>
#include <shlobj.h>
#include <shlwapi.h>

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

namespace {

// Asked first, not told by ShellExecute's failure: Wine tries to run a file of an unknown
// type as a program.
bool hasOpenCommand(const std::wstring& file) {
  DWORD size = 0;
  return SUCCEEDED(AssocQueryStringW(ASSOCF_INIT_IGNOREUNKNOWN, ASSOCSTR_COMMAND,
                                     PathFindExtensionW(file.c_str()), L"open", nullptr, &size));
}

}  // namespace

unsigned long openDocument(HWND owner, const std::string& path, HANDLE* process) {
  const std::wstring file = wideText(path);
  if (GetFileAttributesW(file.c_str()) == INVALID_FILE_ATTRIBUTES) return GetLastError();
  SHELLEXECUTEINFOW run{};
  run.cbSize = sizeof run;
  // No "choose a program" prompt of the shell's own: Notepad is the answer to that.
  run.fMask = SEE_MASK_FLAG_NO_UI | SEE_MASK_NOASYNC | (process ? SEE_MASK_NOCLOSEPROCESS : 0);
  run.hwnd = owner;
  run.lpFile = file.c_str();
  run.nShow = SW_SHOWNORMAL;
  if (hasOpenCommand(file)) {
    if (!ShellExecuteExW(&run)) return GetLastError();
    if (process) *process = run.hProcess;
    return 0;
  }
  const std::wstring quoted = L"\"" + file + L"\"";
  run.lpFile = L"notepad.exe";
  run.lpParameters = quoted.c_str();
  if (ShellExecuteExW(&run)) {
    if (process) *process = run.hProcess;
    return 0;
  }
  return GetLastError();
}

}  // namespace tessaren
