#include "marrowgilder/cli/argument_matching.h"

#include <cstring>

#include "archive/ascii_case.h"

namespace marrowgilder::cli {

bool ArgumentMatches(const char* argument, const char* pattern) {
  return EqualsIgnoringAsciiCase(argument, pattern) || std::strstr(argument, pattern) != nullptr;
}

}  // namespace marrowgilder::cli
