// What tessaren.exe (or its console companion tessaren.com) was asked to do on its command
// line. With no option it starts (or, when it runs already, does nothing); the options are
// handed to the running copy.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tessaren {

enum class Command {
  Start,      // no option
  Reload,     // /reload: update now, metered or paused
  Pause,      // /pause or /pause:MINUTES
  Resume,     // /resume
  Exit,       // /exit
  Status,     // /status: the tray's state, the last update's result and the next update
  Previous,   // /previous: the picture before the one shown, from the history
  Next,       // /next: the picture after it
  Uninstall,  // /uninstall: remove Tessaren's own files from its picture folder
  Unknown,    // anything else: the options are listed
};

struct CommandLine {
  Command command = Command::Start;
  std::optional<int> minutes;  // /pause:MINUTES; nothing: until resumed
  std::string given;           // the option as given, for Unknown
};

// The arguments after the program's name, as GetCommandLine gives them (or WinMain's
// lpCmdLine). Options are case-insensitive and may start with / or -.
CommandLine parseCommandLine(std::string_view arguments);

// A whole command line (GetCommandLine's) without the program's name at its start, split
// off as Windows splits argv[0]: up to the closing quote when it opens with one, else up to
// the first space or tab.
std::string_view argumentsAfterProgramName(std::string_view commandLine);

// The options and what they do, for an unknown one. A console shows them in fixed-width
// columns; a message box's proportional font lines them up only at tab stops.
enum class UsageLayout { Console, MessageBox };
std::string usageText(UsageLayout layout);

// Text for a console or a file on Windows: every line end CRLF.
std::string windowsLineEnds(std::string_view text);

// What another tessaren.exe sends the running program (as WM_COPYDATA): the option, the
// asking process's id and, for /status, a token of the asker's choosing that the answer
// must carry, one to a line. The token is random and goes to the program's window only,
// so no other window can make an answer the asker takes for the program's.
struct CommandMessage {
  std::string option;
  unsigned long asker = 0;
  std::string token;
};
std::string commandMessage(const CommandMessage& message);
CommandMessage parseCommandMessage(std::string_view text);

// /status's answer as sent: the token, a line end and the status text, the text cut to
// kStatusReplyMaxBytes at a character's start. The asker takes the text only from an
// answer with its token, no longer than that.
constexpr std::size_t kStatusReplyMaxBytes = 4096;
std::string statusReplyMessage(std::string_view token, std::string_view status);
std::optional<std::string> acceptedStatusReply(std::string_view token, std::string_view reply);

// Exit codes: 0 done (or the last update was good), 1 the last update failed, 2 Tessaren
// is not running, 3 tessaren.com could not start tessaren.exe, 4 Tessaren runs (and so
// /uninstall removed nothing), 64 an unknown option.
constexpr int kExitOk = 0;
constexpr int kExitLastUpdateFailed = 1;
constexpr int kExitNotRunning = 2;
constexpr int kExitCannotStart = 3;
constexpr int kExitRunning = 4;
constexpr int kExitUsage = 64;

}  // namespace tessaren
