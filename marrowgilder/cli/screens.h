// The four fixed screens: 24 rows of exactly 80 columns on a Japanese console
// (80 bytes in code page 932), drawn with box characters.
#pragma once

#include <cstddef>

#include "platform/host_system.h"

namespace marrowgilder::cli {

inline constexpr int kScreenRows = 24;

// How the host's console shows the screens' box characters.
enum class ConsoleKind {
  kJapaneseConsole,  // code page 932, rows wrap at column 80, ☆ ★ │ ─ ― two columns wide
  kUtf8Terminal,     // UTF-8, often wider than 80 columns, those characters one column wide
};
inline constexpr ConsoleKind kHostConsole = kHostSystem == HostSystem::kWindows
                                                ? ConsoleKind::kJapaneseConsole
                                                : ConsoleKind::kUtf8Terminal;

struct Screen {
  const char* rows[kScreenRows];  // UTF-8 here; code page 932 on a Japanese console
};

extern const Screen HelpScreen;         // operating instructions ("?")
extern const Screen CommandListScreen;  // the screen commands ("c")
extern const Screen VersionScreen;      // version information ("d")
extern const Screen IdentifierScreen;   // the game identifiers ("r")

// Room for the widest row a console is given: 80 columns of three-byte
// characters with the added blanks, and the line break.
inline constexpr std::size_t kScreenRowBufferSize = 512;

// One row as the console writes it. A Japanese console takes it as it stands
// and breaks the line by wrapping at column 80. A UTF-8 terminal shows ☆ ★ │
// ─ ― one column wide, so the line characters are doubled, the others get a
// blank after them, and a line break ends the row.
void FormatScreenRow(const char* row, ConsoleKind console, char* out, std::size_t size);

}  // namespace marrowgilder::cli
