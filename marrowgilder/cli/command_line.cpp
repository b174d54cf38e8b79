#include "marrowgilder/cli/command_line.h"

#include <cstdio>

#include "marrowgilder/cli/argument_matching.h"
#include "marrowgilder/cli/screen_commands.h"
#include "marrowgilder/engine/extraction_run.h"
#include "platform/console.h"

namespace {

struct GameIdentifier {
  const char* identifier;
  const char* magic;
};

// Test order matters: "IG" is contained in "IGW", so "IGW" comes first.
constexpr GameIdentifier kGameIdentifiers[] = {
    {"TK", "VIZ00"},   // ツキカゲ
    {"GL", "VIZ00"},   // Glimmer ～グリマー～
    {"IGW", "VIZ00"},  // IRON GARDEN, voice data
    {"IG", "ZEL00"},   // IRON GARDEN
};

}  // namespace

const char* FindGameMagic(const char* argument) {
  for (const GameIdentifier& game : kGameIdentifiers) {
    if (ArgumentMatches(argument, game.identifier)) return game.magic;
  }
  return nullptr;
}

int RunCommandLine(int argc, char** argv, unsigned lostCharacters) {
  if (argc == 2) {
    RunScreenCommands(argv[1]);
    return 0;
  }
  if (argc == 4) {
    const char* magic = FindGameMagic(argv[1]);
    if (magic == nullptr) return 0;
    // A '?' in place of a lost character would name another file.
    for (int path = 2; path <= 3; ++path) {
      if ((lostCharacters & (1u << path)) == 0) continue;
      char line[160];
      std::snprintf(line, sizeof line,
                    "marrowgilder: argument %d holds characters that code page 932 cannot "
                    "represent\n",
                    path);
      WriteErr(line);
      return static_cast<int>(RunOutcome::kStopped);
    }
    return static_cast<int>(ExtractArchive(argv[2], argv[3], magic));
  }
  return 0;
}
