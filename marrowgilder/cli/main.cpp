#include "marrowgilder/cli/command_line.h"
#include "platform/arguments.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  OpenMissingStandardStreams();
  PrepareConsole();
  HostArguments arguments(argc, argv);
  marrowgilder::cli::ExitStatus status = marrowgilder::cli::RunCommandLine(
      arguments.count(), arguments.vector(), arguments.lostCharacters());
  return static_cast<int>(status);
}
