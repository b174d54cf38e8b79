#include "cli/command_line.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  PrepareConsole();
  return RunCommandLine(argc, argv);
}
