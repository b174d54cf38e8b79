// Utf8ToCp932 on Windows: through UTF-16, refusing best-fit replacements.
#include <windows.h>

#include "test_archive.h"

std::string Utf8ToCp932(const std::string& utf8) {
  int wideLength = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, utf8.c_str(), -1, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(wideLength), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, wide.data(), wideLength);
  BOOL lossy = FALSE;
  int length =
      WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, nullptr, 0, nullptr, &lossy);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.c_str(), -1, out.data(), length, nullptr,
                      nullptr);
  out.resize(out.size() - 1);
  return lossy ? "<not code page 932>" : out;
}
