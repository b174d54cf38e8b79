// What mgarc makes of the way it was started, before its command line is
// parsed: `mgarc ARCHIVE` extracts, and a console that mgarc has to itself
// (Explorer made it for a double-click or a drop) is held open at the end.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace mgarc::cli {

struct StartRequest {
  std::vector<std::string> arguments;  // UTF-8, program name first, as the parser takes them
  bool extractBesideArchive = false;   // a drop: Explorer's working directory is not the user's
};

// consoleOfItsOwn: no other process shares the console, so no command prompt
// shows what is written once mgarc ends.
StartRequest InterpretStart(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& commands, bool consoleOfItsOwn,
                            const std::function<bool(const std::string&)>& isFile);

}  // namespace mgarc::cli
