#include "platform/arguments.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "platform/win32/wide_text.h"

// The arguments are read as UTF-16 and converted to code page 932 here, so the
// program works whatever code page the system runs with. A character without
// a form there becomes '?', so that the screen commands and the identifiers
// still see the rest of the argument.
HostArguments::HostArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    for (int i = 0; i < argc; ++i) texts_.emplace_back(argv[i]);
  } else {
    for (int i = 0; i < count; ++i) {
      bool lossy = false;
      texts_.push_back(CodePage932FromWide(wide[i], &lossy));
      if (lossy && i < 32) lostCharacters_ |= 1u << i;
    }
    LocalFree(wide);
  }
  for (std::string& text : texts_) pointers_.push_back(text.data());
  pointers_.push_back(nullptr);
}
