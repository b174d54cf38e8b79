#include "cli/argument_matching.h"

#include <cstring>

namespace {

bool EqualsIgnoringAsciiCase(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a >= 'A' && *a <= 'Z' ? static_cast<char>(*a - 'A' + 'a') : *a;
    char y = *b >= 'A' && *b <= 'Z' ? static_cast<char>(*b - 'A' + 'a') : *b;
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

}  // namespace

bool ArgumentMatches(const char* argument, const char* pattern) {
  return EqualsIgnoringAsciiCase(argument, pattern) || std::strstr(argument, pattern) != nullptr;
}
