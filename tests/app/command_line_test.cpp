// The command line: each option, its spellings, and what counts as unknown.
#include "app/command_line.h"

#include <gtest/gtest.h>

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

}  // namespace
}  // namespace tessaren
