// tessaren.com, the console companion of tessaren.exe (the devenv.com convention: cmd and
// PowerShell run a .com before an .exe of the same name). It runs tessaren.exe beside it
// with the same arguments and a pipe for its output, prints what comes through on its own
// console and returns tessaren.exe's exit code, so that the answer reaches the console and
// scripts. Every option keeps one code path, tessaren.exe's own.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "app/command_line.h"
#include "app/program_ids.h"
#include "platform/kernel_handles.h"
#include "platform/own_path.h"
#include "platform/system_error.h"
#include "platform/wide_text.h"

namespace tessaren {
namespace {

// Room for any answer tessaren.exe gives (the usage is the longest, under 1 KB, /status's
// at most kStatusReplyMaxBytes): more is read and dropped, never printed.
constexpr std::size_t kAnswerMaxBytes = 16 * 1024;
// How often the pipe is emptied while tessaren.exe runs, so that it never waits on a full
// pipe, whatever it writes.
constexpr DWORD kReadEveryMs = 50;

// tessaren.exe in this program's own folder: a shim (Scoop's) or PATH may have found this
// one, and the program must be the one installed beside it.
std::wstring programPath() {
  std::wstring path = wideText(ownExecutablePath());
  const std::size_t dot = path.find_last_of(L".\\");
  if (dot != std::wstring::npos && path[dot] == L'.') path.resize(dot);
  return path + L".exe";
}

std::wstring folderOf(const std::wstring& path) {
  const std::size_t slash = path.find_last_of(L'\\');
  return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

// On a console as UTF-16, whatever its code page; redirected, in the console's output code
// page (what PowerShell and cmd decode a program's output with), or UTF-8 without a
// console.
void print(HANDLE to, const std::string& text) {
  if (to == nullptr || to == INVALID_HANDLE_VALUE || text.empty()) return;
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(to, &mode)) {
    const std::wstring wide = wideText(text);
    WriteConsoleW(to, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    const std::string bytes = codePageText(text, GetConsoleOutputCP());
    WriteFile(to, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  }
}

int fail(const std::string& what) {
  print(GetStdHandle(STD_ERROR_HANDLE),
        windowsLineEnds("tessaren: " + what + ": " + systemErrorText(GetLastError()) + "\n"));
  return kExitCannotStart;
}

// Takes what the pipe holds now, without waiting for more; keeps at most kAnswerMaxBytes.
void drain(HANDLE pipe, std::string& answer) {
  char buffer[4096];
  DWORD waiting = 0;
  DWORD got = 0;
  while (PeekNamedPipe(pipe, nullptr, 0, nullptr, &waiting, nullptr) && waiting > 0 &&
         ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) {
    const std::size_t room = kAnswerMaxBytes - std::min(answer.size(), kAnswerMaxBytes);
    answer.append(buffer, std::min<std::size_t>(got, room));
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
  if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 64 * 1024)) return fail("can't make a pipe");
  const OwnedHandle reader(readEnd);
  OwnedHandle writer(writeEnd);
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  // The child sets this once it has become the program. Unnamed and inherited, it exists
  // before the child runs and no other process can make, set or hold it.
  const OwnedHandle started(CreateEventW(&inheritable, TRUE, FALSE, nullptr));
  if (!started) return fail("can't make an event");
  const std::wstring handleValue = std::to_wstring(reinterpret_cast<std::uintptr_t>(started.get()));
  SetEnvironmentVariableW(kStartedEventVariable, handleValue.c_str());
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
  // In its own folder, so that the program never holds the shell's (a USB stick could not be
  // ejected), and outside the shell's job where the job allows it, which an ssh session or
  // a CI runner closes with everything in it.
  const std::wstring folder = folderOf(program);
  const auto start = [&](DWORD flags) {
    return CreateProcessW(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, flags,
                          nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process);
  };
  if (!start(CREATE_BREAKAWAY_FROM_JOB) && (GetLastError() != ERROR_ACCESS_DENIED || !start(0)))
    return fail("can't start " + utf8Text(program));
  const OwnedHandle processHandle(process.hProcess);
  const OwnedHandle threadHandle(process.hThread);
  // Only the child holds the write end now: the pipe ends when the child does.
  writer.reset();

  // Either it answers and ends, or it became the program, which goes on for days. What it
  // writes is read meanwhile; it is all in the pipe once it ended or became the program.
  const HANDLE ends[] = {process.hProcess, started.get()};
  std::string answer;
  DWORD which = WAIT_TIMEOUT;
  while ((which = WaitForMultipleObjects(2, ends, FALSE, kReadEveryMs)) == WAIT_TIMEOUT)
    drain(reader.get(), answer);
  drain(reader.get(), answer);
  print(GetStdHandle(STD_OUTPUT_HANDLE), answer);
  if (which == WAIT_OBJECT_0 + 1) return kExitOk;
  if (which != WAIT_OBJECT_0) return fail("can't wait for " + utf8Text(program));

  DWORD code = kExitCannotStart;
  GetExitCodeProcess(process.hProcess, &code);
  return static_cast<int>(code);
}

}  // namespace
}  // namespace tessaren

int main() { return tessaren::run(); }
