// tessaren.com, the console companion of tessaren.exe (the devenv.com convention: cmd and
// PowerShell run a .com before an .exe of the same name). It runs tessaren.exe beside it
// with the same arguments and a pipe for its output, prints what comes through on its own
// console and returns tessaren.exe's exit code, so that the answer reaches the console and
// scripts. Every option keeps one code path, tessaren.exe's own.
#include <windows.h>

#include <string>

#include "app/command_line.h"
#include "platform/kernel_handles.h"
#include "platform/program_ids.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace tessaren {
namespace {

// Room for any answer tessaren.exe gives (the usage is the longest, under 1 KB): it never
// waits on a full pipe while this waits for it.
constexpr DWORD kPipeBytes = 64 * 1024;

std::wstring ownPath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length < path.size()) {
      path.resize(length);
      return path;
    }
    path.resize(path.size() * 2);
  }
}

// tessaren.exe in this program's own folder: a shim (Scoop's) or PATH may have found this
// one, and the program must be the one installed beside it.
std::wstring programPath() {
  std::wstring path = ownPath();
  const std::size_t dot = path.find_last_of(L".\\");
  if (dot != std::wstring::npos && path[dot] == L'.') path.resize(dot);
  return path + L".exe";
}

void print(HANDLE to, const std::string& text) {
  if (to == nullptr || to == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(to, &mode)) {
    // The console takes UTF-16 whatever its code page: every script reads as it should.
    const std::wstring wide = wideText(text);
    WriteConsoleW(to, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    WriteFile(to, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
}

int run() {
  const std::wstring program = programPath();
  std::wstring commandLine = L"\"" + program + L"\"";
  const std::string arguments(argumentsAfterProgramName(utf8Text(GetCommandLineW())));
  if (!arguments.empty()) commandLine += L" " + wideText(arguments);

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, kPipeBytes)) {
    print(
        GetStdHandle(STD_ERROR_HANDLE),
        windowsLineEnds("tessaren: can't make a pipe: " + systemErrorText(GetLastError()) + "\n"));
    return kExitCannotStart;
  }
  const OwnedHandle reader(readEnd);
  OwnedHandle writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  // The program may live on for days: it must not hold the console's handles, nor a file
  // or pipe this was redirected to, which would keep a script's pipe open until it ends.
  for (DWORD which : {STD_INPUT_HANDLE, STD_OUTPUT_HANDLE, STD_ERROR_HANDLE})
    SetHandleInformation(GetStdHandle(which), HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOW startup{};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  PROCESS_INFORMATION process{};
  // Suspended until the event it sets on becoming the program exists under its id.
  if (!CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, CREATE_SUSPENDED,
                      nullptr, nullptr, &startup, &process)) {
    print(GetStdHandle(STD_ERROR_HANDLE),
          windowsLineEnds("tessaren: can't start " + utf8Text(program) + ": " +
                          systemErrorText(GetLastError()) + "\n"));
    return kExitCannotStart;
  }
  const OwnedHandle processHandle(process.hProcess);
  const OwnedHandle threadHandle(process.hThread);
  const OwnedHandle started(
      CreateEventW(nullptr, TRUE, FALSE, wideText(startedEventName(process.dwProcessId)).c_str()));
  ResumeThread(process.hThread);
  // Only the child holds the write end now: the pipe ends when the child does.
  writer.reset();

  // Either it answers and ends, or it became the program, which goes on for days.
  const HANDLE ends[] = {process.hProcess, started.get()};
  const DWORD which = WaitForMultipleObjects(started ? 2 : 1, ends, FALSE, INFINITE);
  const bool isTheProgram = which == WAIT_OBJECT_0 + 1;

  std::string answer;
  char buffer[4096];
  DWORD got = 0;
  DWORD waiting = 0;
  // The program keeps no output (and under Wine its process may hold the pipe open): only
  // what is there already is read from it.
  while ((!isTheProgram ||
          (PeekNamedPipe(reader.get(), nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0)) &&
         ReadFile(reader.get(), buffer, sizeof(buffer), &got, nullptr) && got > 0)
    answer.append(buffer, got);
  print(GetStdHandle(STD_OUTPUT_HANDLE), answer);
  if (isTheProgram) return kExitOk;

  DWORD code = kExitCannotStart;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

}  // namespace
}  // namespace tessaren

int main() { return tessaren::run(); }
