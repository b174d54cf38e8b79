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
  std::string problem;
};

TEST(InterpretStart, OneExistingFileExtractsAndAnythingElseUnknownIsNamed) {
  const std::vector<std::string> commands = {"list", "extract", "verify"};
  auto kindOf = [](const std::string& name) {
    if (name == "game.dat" || name == "list" || name == "-v" || name == "lst")
      return PathKind::kFile;
    return name == "tree" ? PathKind::kDirectory : PathKind::kMissing;
  };
  const StartCase cases[] = {
      {"an archive alone", {"game.dat"}, false, {"extract", "game.dat"}, false, ""},
      {"an archive dropped on it", {"game.dat"}, true, {"extract", "game.dat"}, true, ""},
      {"a file named like a slip is a file", {"lst"}, false, {"extract", "lst"}, false, ""},
      {"a command that is also a file", {"list"}, false, {"list"}, false, ""},
      {"help", {"help"}, false, {"--help"}, false, ""},
      {"help on a command", {"help", "verify"}, false, {"verify", "--help"}, false, ""},
      {"the program's own options", {"--version"}, false, {"--version"}, false, ""},
      {"nothing, double-clicked", {}, true, {"--help"}, false, ""},
      {"nothing, from a prompt", {}, false, {}, false, "give a command, or an archive to extract"},
      {"a missing file", {"none.dat"}, false, {"none.dat"}, false, "none.dat: no such file"},
      {"a directory",
       {"tree"},
       false,
       {"tree"},
       false,
       "tree: a directory, not an archive ('mgarc create ARCHIVE tree' packs it)"},
      {"a slip",
       {"lits", "a"},
       false,
       {"lits", "a"},
       false,
       "'lits' is not a command; did you mean 'list'?"},
      {"a slip alone, no file",
       {"extrct"},
       false,
       {"extrct"},
       false,
       "'extrct' is not a command; did you mean 'extract'?"},
      {"help on a slip",
       {"help", "verfy"},
       false,
       {"help", "verfy"},
       false,
       "'verfy' is not a command; did you mean 'verify'?"},
      {"nothing like a command",
       {"game.dat", "x"},
       true,
       {"game.dat", "x"},
       false,
       "'game.dat' is not a command"},
      {"an option first, also a file",
       {"-v"},
       false,
       {"-v"},
       false,
       "'-v' is an option of a command: the command comes first"},
  };
  for (const StartCase& c : cases) {
    std::vector<std::string> arguments = {"mgarc"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    StartRequest request = InterpretStart(arguments, commands, c.consoleOfItsOwn, kindOf);
    std::vector<std::string> parsed = {"mgarc"};
    parsed.insert(parsed.end(), c.parsed.begin(), c.parsed.end());
    EXPECT_EQ(request.problem, c.problem) << c.what;
    if (c.problem.empty()) {
      EXPECT_EQ(request.arguments, parsed) << c.what;
    }
    EXPECT_EQ(request.extractBesideArchive, c.beside) << c.what;
  }
}

TEST(NearestCommand, SlipsAndBeginningsButNotOtherWords) {
  const std::vector<std::string> commands = {"list",   "verify", "cat",   "extract", "create",
                                             "update", "diff",   "apply", "mount"};
  const std::pair<const char*, const char*> cases[] = {
      {"lst", "list"},     {"lsit", "list"}, {"ext", "extract"},      {"craete", "create"},
      {"updte", "update"}, {"dif", "diff"},  {"mnt", nullptr},        {"ls", nullptr},
      {"cp", nullptr},     {"x", nullptr},   {"nosuch.dat", nullptr}, {"c", nullptr},
  };
  for (const auto& [word, meant] : cases) {
    std::optional<std::string> found = NearestCommand(word, commands);
    EXPECT_EQ(found.value_or("-"), meant ? meant : "-") << word;
  }
}

}  // namespace
