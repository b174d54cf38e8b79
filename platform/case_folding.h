// Case of letters beyond ASCII, as the host's own Unicode tables give it.
#pragma once

#include <string>
#include <string_view>

// UTF-8 text with every letter that has case made upper case by the system's
// mapping: on Windows the file system's own (LCMapStringEx without linguistic
// casing), on Linux glibc's towupper in C.UTF-8, whatever the program's
// locale. Two names with one result differ only in case: of code page 932's
// characters, ASCII, full-width Latin, Greek and Cyrillic letters and the
// Roman numerals ⅰ-ⅹ. Text that is not UTF-8 throughout is kept as it is: no
// name list shows is such text.
std::string UppercaseText(std::string_view utf8);

// The upper case of ASCII text, on which both hosts' mappings agree: most
// names need no Unicode tables.
inline std::string UppercaseAscii(std::string_view ascii) {
  std::string upper(ascii);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}
