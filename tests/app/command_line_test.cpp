// The command line: each option, its spellings, and what counts as unknown; the program's
// name tessaren.com takes off before handing the rest on; the usage in both layouts.
#include "app/command_line.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace tessaren {
namespace {

TEST(CommandLine, OptionsAndTheirSpellings) {
  struct Case {
    const char* arguments;
    Command command;
    std::optional<int> minutes;
  } const cases[] = {
      {"", Command::Start, {}},
      {"   ", Command::Start, {}},
      {"/reload", Command::Reload, {}},
      {" -RELOAD ", Command::Reload, {}},
      {"\t/Exit\r\n", Command::Exit, {}},
      {"/pause", Command::Pause, {}},
      {"/pause:60", Command::Pause, 60},
      {"/Pause:1", Command::Pause, 1},
      {"/pause:0", Command::Unknown, {}},
      {"/pause:", Command::Unknown, {}},
      {"/pause:-5", Command::Unknown, {}},
      {"/pause:9999999", Command::Unknown, {}},
      {"/pause:1h", Command::Unknown, {}},
      {"/resume", Command::Resume, {}},
      {"/exit", Command::Exit, {}},
      {"/status", Command::Status, {}},
      {"/uninstall", Command::Uninstall, {}},
      {"/previous", Command::Previous, {}},
      {"-Next", Command::Next, {}},
      {"/next:2", Command::Unknown, {}},
      {"/reload:5", Command::Unknown, {}},
      {"/help", Command::Unknown, {}},
      {"reload", Command::Unknown, {}},
      {"/reload /exit", Command::Unknown, {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    const CommandLine line = parseCommandLine(c.arguments);
    EXPECT_EQ(line.command, c.command);
    EXPECT_EQ(line.minutes, c.minutes);
  }
}

TEST(CommandLine, ArgumentsAfterTheProgramsName) {
  struct Case {
    const char* commandLine;
    const char* arguments;
  } const cases[] = {
      {"tessaren /status", "/status"},
      {"tessaren", ""},
      {"tessaren.com\t  /pause:60 ", "/pause:60 "},
      {R"("C:\Program Files\Tessaren\tessaren.com" /exit)", "/exit"},
      {R"("C:\My Apps\tessaren" "/reload")", R"("/reload")"},
      // An unquoted name ends at the first blank, a quote in it or not, as Windows splits
      // argv[0].
      {R"(C:\a"b c\tessaren.com /status)", R"(c\tessaren.com /status)"},
      {R"("unclosed /status)", ""},
      {"", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.commandLine);
    EXPECT_EQ(argumentsAfterProgramName(c.commandLine), c.arguments);
  }
}

TEST(CommandLine, WindowsLineEnds) {
  EXPECT_EQ(windowsLineEnds("Tessaren\nLast update: none yet\n"),
            "Tessaren\r\nLast update: none yet\r\n");
  EXPECT_EQ(windowsLineEnds("\n\nA\r\nB"), "\r\n\r\nA\r\nB") << "a CRLF stays one";
  EXPECT_EQ(windowsLineEnds(""), "");
}

// /status's answer counts only with the asker's token and within an answer's length; the
// program cuts a longer status to fit, never inside a character.
TEST(CommandLine, TheStatusAnswerCarriesTheTokenAndFits) {
  const std::string token = "5f3a09c1";
  const std::string full(kStatusReplyMaxBytes, 'x');
  const std::string almost(kStatusReplyMaxBytes - 1, 'x');
  struct Case {
    std::string reply;
    std::optional<std::string> taken;
  } const cases[] = {
      {statusReplyMessage(token, "Tessaren\nLast update: none yet"),
       "Tessaren\nLast update: none yet"},
      {statusReplyMessage(token, full + "y"), full},
      {statusReplyMessage(token, almost + "\xC3\xA9"), almost},
      {token + "\n" + full + "y", std::nullopt},
      {"Tessaren\nLast update: forged", std::nullopt},
      {statusReplyMessage("5f3a09c2", "Tessaren"), std::nullopt},
      {token + "Tessaren", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(acceptedStatusReply(token, c.reply), c.taken) << c.reply;
  EXPECT_EQ(acceptedStatusReply("", "\nTessaren"), std::nullopt) << "no token, no answer";

  const CommandMessage got = parseCommandMessage(commandMessage({"/status", 4242, token}));
  EXPECT_EQ(got.option + " " + std::to_string(got.asker) + " " + got.token,
            "/status 4242 " + token);
  EXPECT_EQ(parseCommandMessage("/reload").asker, 0u) << "an option alone asks for no answer";
}

// Every option the usage lists is one the parser takes; the console's table lines its
// meanings up in one column within 80, the message box's puts one tab between.
TEST(CommandLine, UsageInBothLayouts) {
  for (const UsageLayout layout : {UsageLayout::Console, UsageLayout::MessageBox}) {
    SCOPED_TRACE(layout == UsageLayout::Console ? "console" : "message box");
    std::istringstream text(usageText(layout));
    std::string line;
    std::set<std::size_t> meaningColumns;
    int options = 0;
    while (std::getline(text, line)) {
      if (line.rfind("  ", 0) != 0) continue;
      const std::size_t gap = layout == UsageLayout::Console ? line.find("  ", 2) : line.find('\t');
      ASSERT_NE(gap, std::string::npos) << line;
      std::string left = line.substr(2, gap - 2);
      if (const std::size_t value = left.find("MINUTES"); value != std::string::npos)
        left.replace(value, 7, "60");
      const std::size_t meaning = line.find_first_not_of(" \t", gap);
      meaningColumns.insert(meaning);
      if (layout == UsageLayout::Console) {
        EXPECT_LT(line.size(), 80u) << line;
        EXPECT_EQ(line.find('\t'), std::string::npos) << line;
      } else {
        EXPECT_EQ(meaning, gap + 1) << line;
      }
      if (left[0] == '/' || left == "(none)") {
        ++options;
        EXPECT_NE(parseCommandLine(left == "(none)" ? "" : left).command, Command::Unknown) << left;
      }
    }
    EXPECT_EQ(options, 9);
    if (layout == UsageLayout::Console) {
      EXPECT_EQ(meaningColumns.size(), 2u) << "one column for the options, one for the exit codes";
    }
  }
}

}  // namespace
}  // namespace tessaren
