#include "marrowgilder/cli/command_line.h"
#include "platform/arguments.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  OpenMissingStandardStreams();
  PrepareConsole();
  HostArguments arguments(argc, argv);
  return RunCommandLine(arguments.count(), arguments.vector(), arguments.lostCharacters());
}
