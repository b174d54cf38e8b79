#include "platform/message_box.h"

#include <cstdio>

#include "platform/console_key.h"

// No window system is assumed: the box is its title and text on standard
// error, dismissed by a key at the terminal. Without a terminal (scripts,
// CI) nobody can dismiss it, so the run goes on at once.
void ShowMessageBox(const char* text, const char* title) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s: %s\n", title, text);
  if (!HasConsole()) return;
  std::fputs("[OK: press any key]", stderr);
  std::fflush(stderr);
  ReadConsoleKey();
  std::fputs("\n", stderr);
}
