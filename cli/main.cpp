#include <cstdio>

#include "cli/command_line.h"
#include "platform/arguments.h"
#include "platform/console.h"

int main(int argc, char** argv) {
  PrepareConsole();
  HostArguments arguments(argc, argv);
  if (arguments.unconvertible() != 0) {
    // Never a silent '?': such an argument would name another file.
    char line[160];
    std::snprintf(line, sizeof line,
                  "marrowgilder: argument %d holds characters that code page 932 cannot "
                  "represent\n",
                  arguments.unconvertible());
    WriteErr(line);
    return 2;
  }
  return RunCommandLine(arguments.count(), arguments.vector());
}
