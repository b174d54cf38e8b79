#include <windows.h>
// After windows.h, which it builds on.
#include <shellapi.h>

#include "platform/arguments.h"
#include "platform/win32/wide_text.h"

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
