// Tessaren's entry point: an option for the copy that runs already, or one copy per user
// with its main window and message loop.
#include <windows.h>

#include <string>

#include "app/command_line.h"
#include "app/program.h"
#include "platform/kernel_handles.h"
#include "platform/program_ids.h"
#include "platform/user_mutex.h"
#include "platform/wide_text.h"
#include "platform/window_handles.h"
#include "settings/default_folder.h"
#include "update/outcome.h"
#include "update/update_log.h"

namespace tessaren {
namespace {

HANDLE redirectedOutput() {
  HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  if (output == nullptr || output == INVALID_HANDLE_VALUE) return nullptr;
  const DWORD type = GetFileType(output);
  return type == FILE_TYPE_UNKNOWN || type == FILE_TYPE_CHAR ? nullptr : output;
}

// Into the pipe tessaren.com reads (or wherever the output was redirected), onto the
// console the program was started from, or else in a message box: tessaren.exe is a
// windows program and has no console of its own. boxText is the same for a proportional
// font, where only tabs line columns up.
void tell(const std::string& text, bool warning, const std::string& boxText = {}) {
  if (HANDLE output = redirectedOutput()) {
    const std::string lines = windowsLineEnds(text);
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
      WriteConsoleW(console.get(), wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
      return;
    }
  }
  MessageBoxW(nullptr, wideText(boxText.empty() ? text : boxText).c_str(), L"Tessaren",
              MB_OK | (warning ? MB_ICONWARNING : MB_ICONINFORMATION));
}

// The program lives on long after whoever started it: it lets go of the output it was
// given, so that a script reading a pipe goes on at once, and tells a tessaren.com waiting
// for it that it is the program now, not an answer that ends.
void releaseStandardHandles() {
  const OwnedHandle started(OpenEventW(EVENT_MODIFY_STATE, FALSE,
                                       wideText(startedEventName(GetCurrentProcessId())).c_str()));
  if (started) SetEvent(started.get());
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

// The running copy's answer to /status arrives here while the command is being sent, into
// the text the window's user data points to.
LRESULT CALLBACK replyProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_COPYDATA) {
    const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
    auto* reply = reinterpret_cast<std::string*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (reply != nullptr && data->dwData == kStatusReplyTag && data->lpData != nullptr)
      reply->assign(static_cast<const char*>(data->lpData), data->cbData);
    return TRUE;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Hands the option to the running copy; its answer is the exit code.
int sendToRunningCopy(HWND running, HINSTANCE instance, const std::string& option,
                      bool wantsStatus) {
  std::string statusReply;
  OwnedWindow reply;
  if (wantsStatus) {
    WNDCLASSW replyClass{};
    replyClass.lpfnWndProc = replyProc;
    replyClass.hInstance = instance;
    replyClass.lpszClassName = L"Tessaren.StatusReply";
    RegisterClassW(&replyClass);
    reply.reset(CreateWindowExW(0, replyClass.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, instance, nullptr));
    SetWindowLongPtrW(reply.get(), GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&statusReply));
  }
  // The running copy answers /status only to a window of the process that asks.
  const std::string text = option + "\n" + std::to_string(GetCurrentProcessId());
  COPYDATASTRUCT data{kCommandTag, static_cast<DWORD>(text.size()), const_cast<char*>(text.data())};
  DWORD_PTR answer = kExitNotRunning;
  // While it waits, this thread answers the reply the running copy sends back.
  if (!SendMessageTimeoutW(running, WM_COPYDATA, reinterpret_cast<WPARAM>(reply.get()),
                           reinterpret_cast<LPARAM>(&data), SMTO_ABORTIFHUNG, 10'000, &answer)) {
    tell("Tessaren did not answer.\n", true);
    answer = kExitNotRunning;
  } else if (wantsStatus) {
    tell(statusReply, answer != kExitOk);
  }
  return static_cast<int>(answer);
}

// The uninstaller's step: Tessaren's own files in the picture folder, read and normalised
// exactly as the program reads it, and nothing else there.
int removeOwnFilesOfTheSettings() {
  SettingsStore settings(registryStore(), defaultPictureFolder());
  const std::string folder = settings.load().folder;
  if (!folderProblem(folder)) removeOwnFiles(platformFiles(), folder);
  return kExitOk;
}

// The program itself: one copy per user, its window and its message loop; the exit code.
int runProgram(HINSTANCE instance) {
  // A second copy would fight the first over the same settings, files and log, also from
  // another session of the same user (remote desktop beside the console): the mutex is
  // global and named after the user. Held until the process ends.
  const UserMutex guard = openUserMutex("Tessaren.SingleInstance");
  if (guard.existed) return kExitOk;
  const std::string folder = defaultPictureFolder();
  if (!guard.fallback.empty())
    appendLogLine(folder + "tessaren.log",
                  logLineOf(systemClock().wallNow(), "note", "",
                            "one copy per session only: " + guard.fallback));

  // The shell's folder window and the network's cost are COM objects of this thread.
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  registerMainClass(instance);
  HWND window = createMainWindow(instance);
  if (window == nullptr) return 0;
  releaseStandardHandles();
  auto program = std::make_unique<Program>(
      instance, window,
      ProgramServices{systemClock(), registryStore(), platformFiles(), platformFetcher(),
                      platformDesktop(), makeWindowTimer(window), makeSystemConditions(),
                      makeShellTray(window, kTrayNotifyMessage, instance), folder});
  attachProgram(window, program.get());
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
  const CommandLine command = parseCommandLine(arguments);
  const HWND running = FindWindowA(kMainClassName, nullptr);
  switch (command.command) {
    case Command::Uninstall:
      return removeOwnFilesOfTheSettings();
    case Command::Unknown:
      tell("Unknown option " + command.given + ".\n" + usageText(UsageLayout::Console), true,
           "Unknown option " + command.given + ".\n" + usageText(UsageLayout::MessageBox));
      return kExitUsage;
    case Command::Start:
      if (running != nullptr) return kExitOk;
      break;
    case Command::Reload:
      // Started anew, Tessaren updates at once anyway.
      if (running != nullptr) return sendToRunningCopy(running, instance, command.given, false);
      break;
    case Command::Pause:
    case Command::Resume:
    case Command::Exit:
    case Command::Status:
    case Command::Previous:
    case Command::Next:
      if (running == nullptr) {
        tell("Tessaren is not running.\n", true);
        return kExitNotRunning;
      }
      return sendToRunningCopy(running, instance, command.given,
                               command.command == Command::Status);
  }

  return runProgram(instance);
}
