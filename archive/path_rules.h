// How paths look on a host. The pure path functions take these rules as a
// parameter so that both hosts' behaviour can be tested on any machine.
#pragma once

#include <cstddef>

#include "platform/host_system.h"

enum class CodePage {
  kCp932,  // Shift-JIS as Windows reads it: a lead byte takes the next byte with it
  kUtf8,   // no byte of a multi-byte character is ever '\\' or '/'
};

struct PathRules {
  CodePage codePage;    // encoding of the paths handed to the file system
  char separator;       // the separator the tool writes
  bool slashSeparates;  // '/' also ends a directory name when reading a path
  bool backslashSeparates;
  bool drives;  // "C:" at the start of a path names a drive
  // Names that differ only in case are one name: mgarc folds every letter
  // that has case, marrowgilder the ASCII letters alone.
  bool foldCase;
  // CON, NUL, COM1 and the like name devices in any directory, and a ':'
  // names a stream of another file: neither is a plain file here.
  bool devicesAndStreams;
  // The most bytes one byte of a stored name (code page 932) takes in the
  // host's file names: half-width katakana are 1 byte there, 3 in UTF-8.
  std::size_t bytesPerNameByte;
  // Control characters of a path shown on the console would drive a terminal.
  bool maskControlCharacters;
};

inline constexpr PathRules kWindowsRules{
    CodePage::kCp932, '\\', true, true, true, true, true, 1, false};
inline constexpr PathRules kLinuxRules{CodePage::kUtf8, '/',   true, false, false,
                                       false,           false, 3,    true};
// The rules of the host the tool was built for.
inline constexpr PathRules kHostRules =
    kHostSystem == HostSystem::kWindows ? kWindowsRules : kLinuxRules;

// True when byte b starts a double-byte character under the code page.
inline bool IsLeadByte(CodePage codePage, unsigned char b) {
  return codePage == CodePage::kCp932 && ((b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC));
}

// True when b can follow a lead byte in code page 932. A lead byte before any
// other byte ('/' or a control character, say) is no double-byte character.
inline bool IsTrailByte(unsigned char b) {
  return (b >= 0x40 && b <= 0x7E) || (b >= 0x80 && b <= 0xFC);
}

// Length in bytes of the character at text (1 or 2); a lead byte at the end stands alone.
inline int CharLength(CodePage codePage, const char* text) {
  return IsLeadByte(codePage, static_cast<unsigned char>(text[0])) && text[1] != '\0' ? 2 : 1;
}

inline bool IsSeparator(const PathRules& rules, char c) {
  return (c == '/' && rules.slashSeparates) || (c == '\\' && rules.backslashSeparates);
}
