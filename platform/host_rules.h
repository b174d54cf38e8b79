// The path rules of the host the tool was built for.
#pragma once

#include "archive/path_rules.h"

#ifdef _WIN32
inline constexpr PathRules kHostRules = kWindowsRules;
#else
inline constexpr PathRules kHostRules = kLinuxRules;
#endif

// How the host's console shows the screens' box characters.
enum class ConsoleKind {
  kJapaneseConsole,  // code page 932, rows wrap at column 80, ☆ ★ │ ─ ― two columns wide
  kUtf8Terminal,     // UTF-8, often wider than 80 columns, those characters one column wide
};

#ifdef _WIN32
inline constexpr ConsoleKind kHostConsole = ConsoleKind::kJapaneseConsole;
#else
inline constexpr ConsoleKind kHostConsole = ConsoleKind::kUtf8Terminal;
#endif
