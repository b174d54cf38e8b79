// Case of the ASCII letters A to Z alone: marrowgilder's one rule of case, and
// mgarc's for bytes that are no text.
#pragma once

#include <string_view>

// c with A-Z made a-z; every other byte as it is.
inline char FoldAscii(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

// True when text equals other byte for byte, A-Z and a-z taken as one.
bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view other);
