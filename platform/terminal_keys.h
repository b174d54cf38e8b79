// Decoding what a Linux terminal sends for one key press after an Esc byte:
// CSI and SS3 sequences for function, cursor and editing keys (with the
// modifiers that xterm-style terminals report), or Alt with a character.
#pragma once

#include <cstddef>

#include "platform/extended_keys.h"

struct TerminalInput {
  enum class Kind { kCharacter, kExtended, kIgnored } kind;
  int character;    // for kCharacter
  ExtendedKey key;  // for kExtended
  KeyModifiers modifiers;
};

// True when the bytes that followed the Esc form a whole sequence.
bool EscapeSequenceComplete(const char* bytes, std::size_t length);

// Decodes the bytes that followed an Esc. A lone Esc (no bytes) is the Esc
// key; sequences of no key that has codes (focus reports, mouse, paste
// brackets, cut-off sequences) are kIgnored.
TerminalInput DecodeEscapeSequence(const char* bytes, std::size_t length);
