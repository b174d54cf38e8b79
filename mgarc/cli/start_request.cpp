#include "mgarc/cli/start_request.h"

#include <algorithm>

namespace mgarc::cli {
namespace {

// Edits (a character added, removed, changed, or two swapped) that turn a into b.
std::size_t EditDistance(const std::string& a, const std::string& b) {
  std::vector<std::vector<std::size_t>> d(a.size() + 1, std::vector<std::size_t>(b.size() + 1));
  for (std::size_t i = 0; i <= a.size(); ++i) d[i][0] = i;
  for (std::size_t j = 0; j <= b.size(); ++j) d[0][j] = j;
  for (std::size_t i = 1; i <= a.size(); ++i) {
    for (std::size_t j = 1; j <= b.size(); ++j) {
      std::size_t cost = a[i - 1] == b[j - 1] ? 0 : 1;
      d[i][j] = std::min({d[i - 1][j] + 1, d[i][j - 1] + 1, d[i - 1][j - 1] + cost});
      if (i > 1 && j > 1 && a[i - 1] == b[j - 2] && a[i - 2] == b[j - 1]) {
        d[i][j] = std::min(d[i][j], d[i - 2][j - 2] + 1);
      }
    }
  }
  return d[a.size()][b.size()];
}

std::string NotACommand(const std::string& word, const std::vector<std::string>& commands) {
  std::string problem = "'" + word + "' is not a command";
  if (std::optional<std::string> meant = NearestCommand(word, commands)) {
    problem += "; did you mean '" + *meant + "'?";
  }
  return problem;
}

bool IsCommand(const std::string& word, const std::vector<std::string>& commands) {
  return std::find(commands.begin(), commands.end(), word) != commands.end();
}

}  // namespace

std::optional<std::string> NearestCommand(const std::string& word,
                                          const std::vector<std::string>& commands) {
  std::optional<std::string> nearest;
  std::size_t best = word.size() <= 4 ? 1 : 2;  // more slips than that is another word
  for (const std::string& command : commands) {
    if (word.size() >= 2 && command.rfind(word, 0) == 0) return command;
    std::size_t distance = EditDistance(word, command);
    if (distance <= best && (!nearest || distance < best)) {
      nearest = command;
      best = distance;
    }
  }
  return nearest;
}

StartRequest InterpretStart(const std::vector<std::string>& arguments,
                            const std::vector<std::string>& commands, bool consoleOfItsOwn,
                            const std::function<PathKind(const std::string&)>& kindOf) {
  StartRequest request{arguments, false, {}};
  if (arguments.size() < 2) {
    // A double-click: the usage alone would flash by as an error.
    if (consoleOfItsOwn) {
      request.arguments.push_back("--help");
    } else {
      request.problem = "give a command, or an archive to extract";
    }
    return request;
  }
  const std::string& first = arguments[1];
  if (IsCommand(first, commands)) return request;
  if (first == "help") {  // as git has it
    if (arguments.size() == 2) {
      request.arguments = {arguments[0], "--help"};
    } else if (IsCommand(arguments[2], commands)) {
      request.arguments = {arguments[0], arguments[2], "--help"};
    } else {
      request.problem = NotACommand(arguments[2], commands);
    }
    return request;
  }
  if (first == "-h" || first == "--help" || first == "--version") return request;
  if (!first.empty() && first[0] == '-') {
    request.problem = "'" + first + "' is an option of a command: the command comes first";
  } else if (arguments.size() > 2) {
    request.problem = NotACommand(first, commands);
  } else if (PathKind kind = kindOf(first); kind == PathKind::kFile) {
    request.arguments = {arguments[0], "extract", first};
    request.extractBesideArchive = consoleOfItsOwn;
  } else if (kind == PathKind::kDirectory) {
    request.problem =
        first + ": a directory, not an archive ('mgarc create ARCHIVE " + first + "' packs it)";
  } else if (NearestCommand(first, commands)) {
    request.problem = NotACommand(first, commands);
  } else {
    request.problem = first + ": no such file";
  }
  return request;
}

}  // namespace mgarc::cli
