#include "archive/ascii_case.h"

bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view other) {
  if (text.size() != other.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (FoldAscii(text[i]) != FoldAscii(other[i])) return false;
  }
  return true;
}
