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

// Read as UTF-16, whatever the system's code page: every name the system can
// hold reaches mgarc.
std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  std::vector<std::string> arguments;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (wide == nullptr) {
    for (int i = 0; i < argc; ++i) {
      arguments.push_back(Utf8FromWide(WideFromCodePage(argv[i], CP_ACP)));
    }
    return arguments;
  }
  for (int i = 0; i < count; ++i) arguments.push_back(Utf8FromWide(wide[i]));
  LocalFree(wide);
  return arguments;
}

std::filesystem::path PathFromUtf8(const std::string& text) {
  return std::filesystem::path(WideFromUtf8(text));
}
