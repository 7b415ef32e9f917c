// Tessaren's entry point: an option for the copy that runs already, or one copy per user
// with its main window and message loop.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cwchar>
#include <optional>
#include <string>

#include "app/command_line.h"
#include "app/program.h"
#include "app/program_ids.h"
#include "app/running_program.h"
#include "platform/files.h"
#include "platform/kernel_handles.h"
#include "platform/object_names.h"
#include "platform/system_error.h"
#include "platform/user_mutex.h"
#include "platform/wide_text.h"
#include "platform/window_handles.h"
#include "settings/default_folder.h"
#include "update/outcome.h"
#include "update/update_log.h"

namespace tessaren {
namespace {

// The event tessaren.com handed down through the environment (kStartedEventVariable), or
// nullptr when this process was not started by it. The variable is taken out of the
// environment at once, so that no program started from here inherits it; and only a
// handle this process inherited counts, never one of its own that the number happens to
// name.
OwnedHandle takeStartedEvent() {
  wchar_t value[32] = {};
  const DWORD length = GetEnvironmentVariableW(kStartedEventVariable, value, 32);
  SetEnvironmentVariableW(kStartedEventVariable, nullptr);
  if (length == 0 || length >= 32) return {};
  const auto event =
      reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(std::wcstoull(value, nullptr, 10)));
  DWORD flags = 0;
  if (event == nullptr || !GetHandleInformation(event, &flags) || !(flags & HANDLE_FLAG_INHERIT))
    return {};
  return OwnedHandle(event);
}

HANDLE redirectedOutput() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return nullptr;
  const DWORD type = GetFileType(output);
  return type == FILE_TYPE_UNKNOWN || type == FILE_TYPE_CHAR ? nullptr : output;
}

// The output code page of the console this was started from, 0 when there is none.
unsigned parentConsoleCodePage() {
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return 0;
  const unsigned codePage = GetConsoleOutputCP();
  FreeConsole();
  return codePage;
}

// Where the answers go: into the pipe tessaren.com reads (UTF-8, which it turns into what
// its own output needs), into wherever the output was redirected (in the console's output
// code page, as PowerShell and cmd decode a program's output, else UTF-8), onto the
// console the program was started from, or else in a message box: tessaren.exe is a
// windows program and has no console of its own. boxText is the same for a proportional
// font, where only tabs line columns up.
struct Answers {
  bool toCompanion = false;

  void tell(const std::string& text, bool warning, const std::string& boxText = {}) const {
    if (HANDLE output = redirectedOutput()) {
      const std::string lines =
          codePageText(windowsLineEnds(text), toCompanion ? CP_UTF8 : parentConsoleCodePage());
      DWORD written = 0;
      WriteFile(output, lines.data(), static_cast<DWORD>(lines.size()), &written, nullptr);
      return;
    }
    if (AttachConsole(ATTACH_PARENT_PROCESS)) {
      const OwnedHandle console = ownedFileHandle(CreateFileW(
          L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr));
      if (console) {
        const std::wstring wide = wideText(windowsLineEnds(text));
        DWORD written = 0;
        WriteConsoleW(console.get(), wide.data(), static_cast<DWORD>(wide.size()), &written,
                      nullptr);
        return;
      }
    }
    MessageBoxW(nullptr, wideText(boxText.empty() ? text : boxText).c_str(), L"Tessaren",
                MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
  }
};

// The program lives on long after whoever started it: it lets go of the output it was
// given, so that a script reading a pipe goes on at once, and tells a tessaren.com waiting
// for it that it is the program now, not an answer that ends.
void releaseStandardHandles(OwnedHandle started) {
  if (started) SetEvent(started.get());
  started.reset();
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  for (HANDLE handle : {output, error, GetStdHandle(STD_INPUT_HANDLE)}) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) continue;
    if (handle == error && error == output) continue;
    CloseHandle(handle);
  }
  SetStdHandle(STD_OUTPUT_HANDLE, nullptr);
  SetStdHandle(STD_ERROR_HANDLE, nullptr);
  SetStdHandle(STD_INPUT_HANDLE, nullptr);
}

// An elevated copy hears a program that is not elevated only where it says so (UIPI):
// the command line's WM_COPYDATA, the shell's TaskbarCreated and the installer's WM_CLOSE,
// and nothing else.
void allowMessagesFromLowerLevels(HWND window) {
  for (UINT message : {static_cast<UINT>(WM_COPYDATA), RegisterWindowMessageA("TaskbarCreated"),
                       static_cast<UINT>(WM_CLOSE)})
    ChangeWindowMessageFilterEx(window, message, MSGFLT_ALLOW, nullptr);
}

// What the reply window keeps: the token an answer must carry, and the answer once one
// came with it.
struct StatusReply {
  std::string token;
  std::optional<std::string> text;
};

// The running copy's answer to /status arrives here while the command is being sent.
// Anything without the token, or longer than an answer can be, is dropped unread.
LRESULT CALLBACK replyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    auto* reply = reinterpret_cast<StatusReply*>(GetWindowLongPtrA(window, GWLP_USERDATA));
    if (reply != nullptr && !reply->text && data->dwData == kStatusReplyTag &&
        data->lpData != nullptr)
      reply->text =
          acceptedStatusReply(reply->token, {static_cast<const char*>(data->lpData), data->cbData});
    return TRUE;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

// Nobody can tell it in advance: the system's own randomness, not the C++ library's.
std::string randomToken() {
  char token[33];
  std::snprintf(token, sizeof token, "%016llx%016llx",
                static_cast<unsigned long long>(unpredictableBits()),
                static_cast<unsigned long long>(unpredictableBits()));
  return token;
}

// Hands the option to the running copy; its answer is the exit code.
int sendToRunningCopy(const Answers& answers, HWND running, HINSTANCE instance,
                      const std::string& option, bool wantsStatus) {
  StatusReply statusReply{wantsStatus ? randomToken() : std::string(), std::nullopt};
  OwnedWindow reply;
  if (wantsStatus) {
    WNDCLASSA replyClass{};
    replyClass.lpfnWndProc = replyProc;
    replyClass.hInstance = instance;
    replyClass.lpszClassName = kStatusReplyClass;
    RegisterClassA(&replyClass);
    reply.reset(CreateWindowExA(0, kStatusReplyClass, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                instance, nullptr));
    SetWindowLongPtrA(reply.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&statusReply));
    // An elevated asker still hears a program that is not.
    ChangeWindowMessageFilterEx(reply.get(), WM_COPYDATA, MSGFLT_ALLOW, nullptr);
  }
  // The running copy answers /status only to a window of the process that asks.
  const std::string text = commandMessage({option, GetCurrentProcessId(), statusReply.token});
  COPYDATASTRUCT data{kCommandTag, static_cast<DWORD>(text.size()), const_cast<char*>(text.data())};
  DWORD_PTR answer = kExitNotRunning;
  // While it waits, this thread answers the reply the running copy sends back.
  if (!SendMessageTimeoutW(running, WM_COPYDATA, reinterpret_cast<WPARAM>(reply.get()),
                           reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10'000, &answer) ||
      (wantsStatus && !statusReply.text)) {
    answers.tell("Tessaren did not answer.\n", true);
    return kExitNotRunning;
  }
  if (wantsStatus) answers.tell(*statusReply.text, answer != kExitOk);
  return static_cast<int>(answer);
}

// Tessaren's own files in a folder, and nothing else there.
void removeOwnFilesIn(const std::string& folder) {
  if (!folderProblem(folder)) removeOwnFiles(platformFiles(), folder);
}

// The uninstaller's step: Tessaren's own files in the picture folder (read and normalised
// exactly as the program reads it) and in the default one, where the log is; nothing else
// there. Never while the program runs, whose commit could meet the removal half way: the
// per-user mutex is taken first and held until the files are gone.
int uninstall(const Answers& answers) {
  const UserMutex guard = openUserMutex(kSingleInstanceMutex);
  if (guard.existed) {
    answers.tell("Tessaren is running. End it first (Exit in its menu), then try again.\n", true);
    return kExitRunning;
  }
  const std::string defaultFolder = defaultPictureFolder();
  const std::string folder = SettingsStore(registryStore(), defaultFolder).load().folder;
  removeOwnFilesIn(folder);
  if (folder != defaultFolder) removeOwnFilesIn(defaultFolder);
  platformFiles().remove(defaultFolder + kLogFileName);
  platformFiles().remove(oldLogPath(defaultFolder + kLogFileName));
  return kExitOk;
}

// The program itself: one copy per user, its window and its message loop; the exit code.
int runProgram(HINSTANCE instance, OwnedHandle started) {
  // A second copy would fight the first over the same settings, files and log, also from
  // another session of the same user (remote desktop beside the console): the mutex is
  // global and named after the user. Held until the process ends. It alone decides: a
  // window of the program's class, whoever made it, keeps nothing from starting.
  const UserMutex guard = openUserMutex(kSingleInstanceMutex);
  if (guard.existed) return kExitOk;
  const std::string folder = defaultPictureFolder();
  if (!guard.fallback.empty())
    appendLogLine(folder + kLogFileName, logLineOf(systemClock().wallNow(), "note", "",
                                                   "one copy per session only: " + guard.fallback));

  // The shell's folder window and the network's cost are COM objects of this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  registerMainClass(instance);
  HWND window = createMainWindow(instance);
  if (window == nullptr) return 0;
  allowMessagesFromLowerLevels(window);
  auto program = std::make_unique<Program>(
      instance, window,
      ProgramServices{systemClock(), registryStore(), platformFiles(), platformFetcher(),
                      platformDesktop(), makeWindowTimer(window), makeSystemConditions(),
                      makeShellTray(window, kTrayNotifyMessage, instance), folder});
  attachProgram(window, program.get());
  // Only now, with the program behind its window, may others find it and hand it options.
  const OwnedHandle record = publishRunningProgram(window);
  if (!record)
    appendLogLine(folder + kLogFileName, logLineOf(systemClock().wallNow(), "note", "",
                                                   "the command line can't reach this copy: " +
                                                       systemErrorText(GetLastError())));
  releaseStandardHandles(std::move(started));
  program->start();

  MSG message{};
  BOOL got = 0;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // -1 means the loop itself failed: there is no quit message to take a code from.
  const int code = got == 0 ? static_cast<int>(message.wParam) : 0;
  // Work still held by a network call must not wait the network out, nor meet the
  // program's objects while they are torn down: end here, at once.
  if (program->leftWorkersBehind()) ExitProcess(static_cast<UINT>(code));
  return code;
}

}  // namespace
}  // namespace tessaren

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  using namespace tessaren;
  OwnedHandle started = takeStartedEvent();
  const Answers answers{static_cast<bool>(started)};
  const CommandLine command = parseCommandLine(arguments);
  const HWND running = command.command == Command::Start ? nullptr : findRunningProgram();
  switch (command.command) {
    case Command::Uninstall:
      return uninstall(answers);
    case Command::Unknown:
      answers.tell("Unknown option " + command.given + ".\n" + usageText(UsageLayout::Console),
                   true,
                   "Unknown option " + command.given + ".\n" + usageText(UsageLayout::MessageBox));
      return kExitUsage;
    case Command::Start:
      break;
    case Command::Reload:
      // Started anew, Tessaren updates at once anyway.
      if (running != nullptr)
        return sendToRunningCopy(answers, running, instance, command.given, false);
      break;
    case Command::Pause:
    case Command::Resume:
    case Command::Exit:
    case Command::Status:
    case Command::Previous:
    case Command::Next:
      if (running == nullptr) {
        answers.tell("Tessaren is not running.\n", true);
        return kExitNotRunning;
      }
      return sendToRunningCopy(answers, running, instance, command.given,
                               command.command == Command::Status);
  }

  return runProgram(instance, std::move(started));
}
