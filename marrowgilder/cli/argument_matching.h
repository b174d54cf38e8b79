// How an argument selects a game identifier or a screen command.
#pragma once

namespace marrowgilder::cli {

// True when argument equals pattern ignoring the case of ASCII letters, or
// contains pattern byte for byte (case-sensitive, blind to double-byte characters).
bool ArgumentMatches(const char* argument, const char* pattern);

}  // namespace marrowgilder::cli
