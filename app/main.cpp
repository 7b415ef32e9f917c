// Tessaren's entry point: one copy per user, the main window, then the message loop.
#include <windows.h>

#include "app/command_line.h"
#include "app/main_window.h"
#include "platform/handles.h"
#include "platform/user_sid.h"
#include "settings/default_folder.h"

namespace {

// The uninstaller's step: Tessaren's own files in the picture folder, read and normalised
// exactly as the program reads it, and nothing else there.
int removeOwnFilesOfTheSettings() {
  tessaren::SettingsStore settings(tessaren::registryStore(), tessaren::defaultPictureFolder());
  const std::string folder = settings.load().folder;
  if (!tessaren::folderProblem(folder)) tessaren::removeOwnFiles(tessaren::platformFiles(), folder);
  return tessaren::kExitOk;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR arguments, int) {
  const tessaren::CommandLine command = tessaren::parseCommandLine(arguments);
  if (command.command == tessaren::Command::Uninstall) return removeOwnFilesOfTheSettings();

  // A second copy would fight the first over the same settings, files and log, also from
  // another session of the same user (remote desktop beside the console): the mutex is
  // global and named after the user. Held until the process ends.
  const std::string mutexName = "Global\\Tessaren.SingleInstance." + tessaren::currentUserSid();
  const tessaren::OwnedHandle guard(CreateMutexA(nullptr, FALSE, mutexName.c_str()));
  if (GetLastError() == ERROR_ALREADY_EXISTS) return 0;

  tessaren::registerMainClass(instance);
  if (!tessaren::createMainWindow(instance, {tessaren::registryStore(),
                                             tessaren::platformFiles(),
                                             tessaren::defaultPictureFolder(),
                                             {},
                                             {}}))
    return 0;

  MSG message{};
  BOOL got = 0;
  while ((got = GetMessageA(&message, nullptr, 0, 0)) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  // -1 means the loop itself failed: there is no quit message to take a code from.
  const int code = got == 0 ? static_cast<int>(message.wParam) : 0;
  // An update still held by a network call must not wait the network out, nor meet the
  // program's objects while they are torn down: end here, at once.
  if (tessaren::leftWorkersBehind()) ExitProcess(static_cast<UINT>(code));
  return code;
}
