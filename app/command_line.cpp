// The command line.
#include "app/command_line.h"

#include "platform/text.h"

namespace tessaren {

const char kUsage[] =
    "tessaren.exe [option]\n"
    "  (none)          start Tessaren (when it runs already, nothing happens)\n"
    "  /reload         update the wallpaper now\n"
    "  /pause          pause the updates until /resume\n"
    "  /pause:MINUTES  pause the updates for so many minutes\n"
    "  /resume         resume the updates\n"
    "  /status         print what the last update did and when the next one is due\n"
    "  /previous       show the picture before, from the history (pauses the updates)\n"
    "  /next           show the picture after it; at the newest the updates resume\n"
    "  /exit           end Tessaren\n"
    "Exit codes: 0 done, 1 the last update failed (/status), 2 Tessaren is not running,\n"
    "64 an unknown option.\n";

CommandLine parseCommandLine(std::string_view arguments) {
  CommandLine line;
  line.given = trimmed(arguments);
  const std::string_view given = line.given;
  if (given.empty()) return line;
  line.command = Command::Unknown;
  if (given[0] != '/' && given[0] != '-') return line;
  const std::string option = lowerAscii(given.substr(1));
  const std::size_t colon = option.find(':');
  const std::string name = option.substr(0, colon);
  const bool hasValue = colon != std::string::npos;
  if (name == "pause") {
    if (!hasValue) {
      line.command = Command::Pause;
      return line;
    }
    const std::string value = option.substr(colon + 1);
    if (value.empty() || value.size() > 6) return line;
    int minutes = 0;
    for (char c : value) {
      if (c < '0' || c > '9') return line;
      minutes = minutes * 10 + (c - '0');
    }
    if (minutes < 1) return line;
    line.command = Command::Pause;
    line.minutes = minutes;
    return line;
  }
  if (hasValue) return line;
  if (name == "reload") line.command = Command::Reload;
  if (name == "resume") line.command = Command::Resume;
  if (name == "exit") line.command = Command::Exit;
  if (name == "status") line.command = Command::Status;
  if (name == "uninstall") line.command = Command::Uninstall;
  if (name == "previous") line.command = Command::Previous;
  if (name == "next") line.command = Command::Next;
  return line;
}

}  // namespace tessaren
