// How mgarc reads the way it was started: `mgarc ARCHIVE`, and a console of
// its own (Explorer's double-click or drop).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mgarc/cli/start_request.h"

using namespace mgarc::cli;

namespace {

struct StartCase {
  const char* what;
  std::vector<std::string> arguments;  // after the program's name
  bool consoleOfItsOwn;
  std::vector<std::string> parsed;  // after the program's name
  bool beside;
};

TEST(InterpretStart, OneExistingFileExtractsAndADoubleClickShowsTheHelp) {
  const std::vector<std::string> commands = {"list", "extract", "verify"};
  auto isFile = [](const std::string& name) {
    return name == "game.dat" || name == "list" || name == "-v";
  };
  const StartCase cases[] = {
      {"an archive alone", {"game.dat"}, false, {"extract", "game.dat"}, false},
      {"an archive dropped on it", {"game.dat"}, true, {"extract", "game.dat"}, true},
      {"a missing file stays an unknown command", {"none.dat"}, false, {"none.dat"}, false},
      {"a command that is also a file", {"list"}, false, {"list"}, false},
      {"an option that is also a file", {"-v"}, false, {"-v"}, false},
      {"two arguments", {"game.dat", "x"}, true, {"game.dat", "x"}, false},
      {"nothing, from a prompt: the usage error", {}, false, {}, false},
      {"nothing, double-clicked", {}, true, {"--help"}, false},
  };
  for (const StartCase& c : cases) {
    std::vector<std::string> arguments = {"mgarc"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    StartRequest request = InterpretStart(arguments, commands, c.consoleOfItsOwn, isFile);
    std::vector<std::string> parsed = {"mgarc"};
    parsed.insert(parsed.end(), c.parsed.begin(), c.parsed.end());
    EXPECT_EQ(request.arguments, parsed) << c.what;
    EXPECT_EQ(request.extractBesideArchive, c.beside) << c.what;
  }
}

}  // namespace
