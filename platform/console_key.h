// One key press at the console the process runs in, read from the keyboard
// itself rather than from standard input.
#pragma once

inline constexpr int kEndOfInput = -1;

struct ConsoleKey {
  int code;    // the character, an extended key's prefix (0 or 0xE0), or kEndOfInput
  int second;  // an extended key's second code, or -1
};

// True when the process has a console to wait at.
bool HasConsole();
// True when no other process shares the console: Windows made it for this
// process (Explorer's double-click or drop) and closes it when the process
// ends. A command prompt, a terminal under Wine and Linux never give one.
bool ConsoleOfItsOwn();
ConsoleKey ReadConsoleKey();
