// The command line: its options, the program's name before them, and the usage table.
#include "app/command_line.h"

#include <algorithm>
#include <charconv>

#include "platform/text.h"

namespace tessaren {
namespace {

struct UsageRow {
  const char* left;
  const char* right;
};

constexpr UsageRow kOptions[] = {
    {"(none)", "start Tessaren (when it runs already, nothing happens)"},
    {"/reload", "update the wallpaper now"},
    {"/pause", "pause the updates until /resume"},
    {"/pause:MINUTES", "pause the updates for so many minutes"},
    {"/resume", "resume the updates"},
    {"/status", "print what the last update did and when the next one is due"},
    {"/previous", "show the picture before, from the history; updates pause"},
    {"/next", "show the picture after it; at the newest, updates resume"},
    {"/exit", "end Tessaren"},
};

constexpr UsageRow kExitCodes[] = {
    {"0", "done; with /status, the last update was good"},
    {"1", "the last update failed (/status)"},
    {"2", "Tessaren is not running"},
    {"3", "tessaren.exe could not be started (tessaren.com)"},
    {"4", "Tessaren is running, so nothing was removed (/uninstall)"},
    {"64", "an unknown option"},
};

template <std::size_t N>
std::string table(const UsageRow (&rows)[N], UsageLayout layout) {
  std::size_t widest = 0;
  for (const UsageRow& row : rows) widest = std::max(widest, std::string_view(row.left).size());
  std::string text;
  for (const UsageRow& row : rows) {
    const std::string_view left = row.left;
    text += "  ";
    text += left;
    if (layout == UsageLayout::Console) {
      text.append(widest + 2 - left.size(), ' ');
    } else {
      text += '\t';
    }
    text += row.right;
    text += '\n';
  }
  return text;
}

}  // namespace

std::string usageText(UsageLayout layout) {
  return "Usage: tessaren [option]\n" + table(kOptions, layout) + "Exit codes:\n" +
         table(kExitCodes, layout);
}

std::string windowsLineEnds(std::string_view text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t at = 0; at < text.size(); ++at) {
    if (text[at] == '\n' && (at == 0 || text[at - 1] != '\r')) out += '\r';
    out += text[at];
  }
  return out;
}

std::string_view argumentsAfterProgramName(std::string_view commandLine) {
  std::size_t end = 0;
  if (!commandLine.empty() && commandLine[0] == '"') {
    end = commandLine.find('"', 1);
    end = end == std::string_view::npos ? commandLine.size() : end + 1;
  } else {
    end = std::min(commandLine.find_first_of(" \t"), commandLine.size());
  }
  std::string_view rest = commandLine.substr(end);
  const std::size_t start = rest.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : rest.substr(start);
}

std::string commandMessage(const CommandMessage& message) {
  return message.option + "\n" + std::to_string(message.asker) + "\n" + message.token;
}

CommandMessage parseCommandMessage(std::string_view text) {
  CommandMessage message;
  std::string_view rest;
  if (const std::size_t end = text.find('\n'); end != std::string_view::npos) {
    rest = text.substr(end + 1);
    text = text.substr(0, end);
  }
  message.option = text;
  const std::size_t end = std::min(rest.find('\n'), rest.size());
  std::from_chars(rest.data(), rest.data() + end, message.asker);
  if (end < rest.size()) message.token = rest.substr(end + 1);
  return message;
}

std::string statusReplyMessage(std::string_view token, std::string_view status) {
  return std::string(token) + "\n" + utf8Prefix(std::string(status), kStatusReplyMaxBytes);
}

std::optional<std::string> acceptedStatusReply(std::string_view token, std::string_view reply) {
  if (token.empty() || reply.size() > token.size() + 1 + kStatusReplyMaxBytes ||
      reply.substr(0, token.size()) != token || reply.substr(token.size(), 1) != "\n")
    return std::nullopt;
  return std::string(reply.substr(token.size() + 1));
}

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
