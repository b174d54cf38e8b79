#include "mgarc/cli/start_request.h"

#include <algorithm>

namespace mgarc::cli {

StartRequest InterpretStart(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& commands, bool consoleOfItsOwn,
                            const std::function<bool(const std::string&)>& isFile) {
  StartRequest request{arguments, false};
  if (arguments.size() == 1 && consoleOfItsOwn) {
    // A double-click: the usage alone would flash by as an error.
    request.arguments.push_back("--help");
  } else if (arguments.size() == 2) {
    const std::string& only = arguments[1];
    bool command = std::find(commands.begin(), commands.end(), only) != commands.end();
    if (!command && !only.empty() && only[0] != '-' && isFile(only)) {
      request.arguments = {arguments[0], "extract", only};
      request.extractBesideArchive = consoleOfItsOwn;
    }
  }
  return request;
}

}  // namespace mgarc::cli
