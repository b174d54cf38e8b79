#include "marrowgilder/cli/screen_commands.h"

#include "marrowgilder/cli/argument_matching.h"
#include "marrowgilder/cli/key_wait.h"
#include "platform/console.h"

namespace marrowgilder::cli {

namespace {

struct ScreenCommand {
  const char* pattern;
  const Screen* screen;
};

constexpr ScreenCommand kScreenCommands[] = {
    {"?", &HelpScreen},
    {"c", &CommandListScreen},
    {"d", &VersionScreen},
    {"r", &IdentifierScreen},
};

constexpr const char* kScrollAway = "\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n\n";

}  // namespace

ExitStatus RunScreenCommands(const char* argument) {
  for (const ScreenCommand& command : kScreenCommands) {
    if (ArgumentMatches(argument, command.pattern)) ShowScreen(*command.screen);
  }
  return ExitStatus::kSuccess;
}

void ShowScreen(const Screen& screen) {
  for (const char* row : screen.rows) {
    char line[kScreenRowBufferSize];
    FormatScreenRow(row, kHostConsole, line, sizeof line);
    WriteOutSystemText(line);
  }
  FlushOut();
  (void)WaitForKey();
  WriteOut(kScrollAway);
}

}  // namespace marrowgilder::cli
