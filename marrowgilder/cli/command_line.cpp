#include "marrowgilder/cli/command_line.h"

#include <cstdio>

#include "marrowgilder/cli/argument_matching.h"
#include "marrowgilder/cli/screen_commands.h"
#include "marrowgilder/engine/extraction_run.h"
#include "platform/console.h"

namespace marrowgilder::cli {

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

ExitStatus StatusOf(engine::RunOutcome outcome) {
  switch (outcome) {
    case engine::RunOutcome::kAllWritten:
      return ExitStatus::kSuccess;
    case engine::RunOutcome::kSomeNotWritten:
      return ExitStatus::kSomeNotWritten;
    case engine::RunOutcome::kStopped:
      break;
  }
  return ExitStatus::kStopped;
}

}  // namespace

const char* FindGameMagic(const char* argument) {
  for (const GameIdentifier& game : kGameIdentifiers) {
    if (ArgumentMatches(argument, game.identifier)) return game.magic;
  }
  return nullptr;
}

ExitStatus RunCommandLine(int argc, char** argv, unsigned lostCharacters) {
  if (argc == 2) return RunScreenCommands(argv[1]);
  if (argc == 4) {
    const char* magic = FindGameMagic(argv[1]);
    if (magic == nullptr) return ExitStatus::kSuccess;
    // A '?' in place of a lost character would name another file.
    for (int path = 2; path <= 3; ++path) {
      if ((lostCharacters & (1u << path)) == 0) continue;
      char line[160];
      std::snprintf(line, sizeof line,
                    "marrowgilder: argument %d holds characters that code page 932 cannot "
                    "represent\n",
                    path);
      WriteErr(line);
      return ExitStatus::kStopped;
    }
    return StatusOf(engine::ExtractArchive(argv[2], argv[3], magic));
  }
  return ExitStatus::kSuccess;
}

}  // namespace marrowgilder::cli
