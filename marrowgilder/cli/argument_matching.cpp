#include "marrowgilder/cli/argument_matching.h"

#include <cstring>

#include "archive/ascii_case.h"

bool ArgumentMatches(const char* argument, const char* pattern) {
  return EqualsIgnoringAsciiCase(argument, pattern) || std::strstr(argument, pattern) != nullptr;
}
