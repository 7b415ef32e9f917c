// Looks at an installed Tessaren from inside Wine for the installer test: which program
// owns the TESSAREN window, whether a process has ended, where a shortcut points, and
// runs an uninstaller until the copy of itself that it hands over to has finished.
// One action per run; the exit code says whether the check held.
//   install_probe running EXE_PATH     window there, owned by a process running EXE_PATH;
//                                      prints its process id
//   install_probe ended PID            that process is gone (within a minute)
//   install_probe no-window            no TESSAREN window
//   install_probe shortcut LNK TARGET  the shortcut points at TARGET
//   install_probe run-and-wait EXE [ARGS...]  runs EXE, waits for it and for every process
//                                      it started; exits with EXE's exit code
#include <windows.h>
// after windows.h, which they need
#include <objbase.h>
#include <shlobj.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "platform/object_names.h"

namespace {

std::wstring narrowToWide(const char* text) {
  const int length = MultiByteToWideChar(CP_UTF8, 0, text, -1, nullptr, 0);
  std::wstring wide(length > 0 ? length - 1 : 0, L'\0');
  if (length > 1) MultiByteToWideChar(CP_UTF8, 0, text, -1, wide.data(), length);
  return wide;
}

bool samePath(const std::wstring& a, const std::wstring& b) {
  return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

HWND waitForWindow(DWORD milliseconds) {
  for (DWORD waited = 0;; waited += 100) {
    if (HWND window = FindWindowA(tessaren::kMainWindowClass, nullptr)) return window;
    if (waited >= milliseconds) return nullptr;
    Sleep(100);
  }
}

int running(const std::wstring& expected) {
  HWND window = waitForWindow(120000);
  if (window == nullptr) {
    std::printf("FAILED: no window of class TESSAREN within 120 s\n");
    return 1;
  }
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  HANDLE handle = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
  if (handle == nullptr) {
    std::printf("FAILED: cannot open process %lu (error %lu)\n", process, GetLastError());
    return 1;
  }
  wchar_t image[MAX_PATH * 2] = {};
  DWORD size = MAX_PATH * 2;
  const BOOL named = QueryFullProcessImageNameW(handle, 0, image, &size);
  CloseHandle(handle);
  if (!named) {
    std::printf("FAILED: no image name for process %lu (error %lu)\n", process, GetLastError());
    return 1;
  }
  std::printf("pid=%lu\nimage=%ls\n", process, image);
  return samePath(image, expected) ? 0 : 1;
}

int ended(DWORD process) {
  HANDLE handle = OpenProcess(SYNCHRONIZE, FALSE, process);
  if (handle == nullptr) return 0;  // no such process any more
  const DWORD state = WaitForSingleObject(handle, 60000);
  CloseHandle(handle);
  if (state == WAIT_OBJECT_0) return 0;
  std::printf("FAILED: process %lu still runs\n", process);
  return 1;
}

int noWindow() {
  if (FindWindowA(tessaren::kMainWindowClass, nullptr) == nullptr) return 0;
  std::printf("FAILED: a TESSAREN window still exists\n");
  return 1;
}

int shortcut(const std::wstring& link, const std::wstring& expected) {
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) return 1;
  IShellLinkW* shellLink = nullptr;
  int result = 1;
  if (SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                 reinterpret_cast<void**>(&shellLink)))) {
    IPersistFile* file = nullptr;
    if (SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file)))) {
      wchar_t target[MAX_PATH] = {};
      if (SUCCEEDED(file->Load(link.c_str(), STGM_READ)) &&
          SUCCEEDED(shellLink->GetPath(target, MAX_PATH, nullptr, 0))) {
        std::printf("target=%ls\n", target);
        result = samePath(target, expected) ? 0 : 1;
      } else {
        std::printf("FAILED: cannot read the shortcut %ls\n", link.c_str());
      }
      file->Release();
    }
    shellLink->Release();
  }
  CoUninitialize();
  return result;
}

// An NSIS uninstaller copies itself to a temporary folder, starts that copy and returns
// at once: the work is done when the processes it started have ended too.
int runAndWait(const std::vector<std::wstring>& arguments) {
  std::wstring commandLine;
  for (const auto& argument : arguments) {
    if (!commandLine.empty()) commandLine += L' ';
    commandLine += argument.find(L' ') == std::wstring::npos ? argument : L'"' + argument + L'"';
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION started{};
  if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &started)) {
    std::printf("FAILED: cannot start %ls (error %lu)\n", commandLine.c_str(), GetLastError());
    return 1;
  }
  CloseHandle(started.hThread);
  WaitForSingleObject(started.hProcess, 180000);
  DWORD exitCode = 1;
  GetExitCodeProcess(started.hProcess, &exitCode);
  CloseHandle(started.hProcess);

  std::vector<HANDLE> children;
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more;
       more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ParentProcessID != started.dwProcessId) continue;
    if (HANDLE child = OpenProcess(SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
      std::printf("waiting for %ls (process %lu)\n", entry.szExeFile, entry.th32ProcessID);
      children.push_back(child);
    }
  }
  CloseHandle(snapshot);
  bool allEnded = true;
  for (HANDLE child : children) {
    allEnded = WaitForSingleObject(child, 180000) == WAIT_OBJECT_0 && allEnded;
    CloseHandle(child);
  }
  if (!allEnded) {
    std::printf("FAILED: a process it started still runs after 180 s\n");
    return 1;
  }
  return static_cast<int>(exitCode);
}

}  // namespace

int main(int argc, char** argv) {
  const std::string action = argc > 1 ? argv[1] : "";
  if (action == "running" && argc == 3) return running(narrowToWide(argv[2]));
  if (action == "ended" && argc == 3) return ended(std::strtoul(argv[2], nullptr, 10));
  if (action == "no-window" && argc == 2) return noWindow();
  if (action == "shortcut" && argc == 4)
    return shortcut(narrowToWide(argv[2]), narrowToWide(argv[3]));
  if (action == "run-and-wait" && argc >= 3) {
    std::vector<std::wstring> arguments;
    for (int i = 2; i < argc; ++i) arguments.push_back(narrowToWide(argv[i]));
    return runAndWait(arguments);
  }
  std::printf(
      "usage: install_probe running EXE | ended PID | no-window | shortcut LNK TARGET |"
      " run-and-wait EXE [ARGS...]\n");
  return 2;
}
