// What mgarc makes of the way it was started, before its command line is
// parsed: `mgarc ARCHIVE` extracts, `mgarc help [COMMAND]` helps, a first
// word that is no command is named (with the command meant, when one is
// close), and a console that mgarc has to itself (Explorer made it for a
// double-click or a drop) is held open at the end.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace mgarc::cli {

struct StartRequest {
  std::vector<std::string> arguments;  // UTF-8, program name first, as the parser takes them
  bool extractBesideArchive = false;   // a drop: Explorer's working directory is not the user's
  std::string problem;                 // when not empty: why it cannot start, said instead
};

enum class PathKind { kMissing, kDirectory, kFile };

// consoleOfItsOwn: no other process shares the console, so no command prompt
// shows what is written once mgarc ends. kindOf tells what a path names.
StartRequest InterpretStart(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& commands, bool consoleOfItsOwn,
                            const std::function<PathKind(const std::string&)>& kindOf);

// The command that word was probably meant to be (a typing slip, or the
// start of one command's name), if any.
std::optional<std::string> NearestCommand(const std::string& word,
                                          const std::vector<std::string>& commands);

}  // namespace mgarc::cli
