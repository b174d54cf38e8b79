#include "platform/terminal_keys.h"

namespace {

constexpr std::size_t kLongestSequence = 16;

TerminalInput Character(int c) {
  return {TerminalInput::Kind::kCharacter, c, ExtendedKey::kF1, {}};
}
TerminalInput Ignored() {
  return {TerminalInput::Kind::kIgnored, 0, ExtendedKey::kF1, {}};
}
TerminalInput Extended(ExtendedKey key, KeyModifiers modifiers) {
  return {TerminalInput::Kind::kExtended, 0, key, modifiers};
}

// xterm's modifier parameter: 1 + (Shift 1, Alt 2, Ctrl 4).
KeyModifiers ModifiersFromParameter(int parameter) {
  int bits = parameter > 1 ? parameter - 1 : 0;
  return {(bits & 1) != 0, (bits & 4) != 0, (bits & 2) != 0};
}

// Keys named by the final letter of "ESC [ 1 ; m X" or "ESC O X".
bool KeyFromLetter(char letter, ExtendedKey* key) {
  switch (letter) {
    case 'A':
      *key = ExtendedKey::kUp;
      return true;
    case 'B':
      *key = ExtendedKey::kDown;
      return true;
    case 'C':
      *key = ExtendedKey::kRight;
      return true;
    case 'D':
      *key = ExtendedKey::kLeft;
      return true;
    case 'H':
      *key = ExtendedKey::kHome;
      return true;
    case 'F':
      *key = ExtendedKey::kEnd;
      return true;
    case 'P':
      *key = ExtendedKey::kF1;
      return true;
    case 'Q':
      *key = ExtendedKey::kF2;
      return true;
    case 'R':
      *key = ExtendedKey::kF3;
      return true;
    case 'S':
      *key = ExtendedKey::kF4;
      return true;
    default:
      return false;
  }
}

// Keys named by the number of "ESC [ n ~" (VT220, xterm, rxvt).
bool KeyFromNumber(int number, ExtendedKey* key) {
  switch (number) {
    case 1:
    case 7:
      *key = ExtendedKey::kHome;
      return true;
    case 2:
      *key = ExtendedKey::kInsert;
      return true;
    case 3:
      *key = ExtendedKey::kDelete;
      return true;
    case 4:
    case 8:
      *key = ExtendedKey::kEnd;
      return true;
    case 5:
      *key = ExtendedKey::kPageUp;
      return true;
    case 6:
      *key = ExtendedKey::kPageDown;
      return true;
    case 11:
      *key = ExtendedKey::kF1;
      return true;
    case 12:
      *key = ExtendedKey::kF2;
      return true;
    case 13:
      *key = ExtendedKey::kF3;
      return true;
    case 14:
      *key = ExtendedKey::kF4;
      return true;
    case 15:
      *key = ExtendedKey::kF5;
      return true;
    case 17:
      *key = ExtendedKey::kF6;
      return true;
    case 18:
      *key = ExtendedKey::kF7;
      return true;
    case 19:
      *key = ExtendedKey::kF8;
      return true;
    case 20:
      *key = ExtendedKey::kF9;
      return true;
    case 21:
      *key = ExtendedKey::kF10;
      return true;
    case 23:
      *key = ExtendedKey::kF11;
      return true;
    case 24:
      *key = ExtendedKey::kF12;
      return true;
    default:
      return false;
  }
}

bool IsFinalByte(char c) {
  return c >= 0x40 && c <= 0x7E;
}

TerminalInput DecodeCsi(const char* body, std::size_t length) {
  // body: parameters and the final byte, after "ESC [".
  char final = body[length - 1];
  int parameters[2] = {0, 0};
  int count = 0;
  for (std::size_t i = 0; i + 1 < length; ++i) {
    char c = body[i];
    if (c >= '0' && c <= '9') {
      if (count == 0) count = 1;
      if (count <= 2) parameters[count - 1] = parameters[count - 1] * 10 + (c - '0');
    } else if (c == ';') {
      ++count;
    } else {
      return Ignored();  // private sequences such as mouse reports
    }
  }
  KeyModifiers modifiers = ModifiersFromParameter(parameters[1]);
  ExtendedKey key{};
  if (final == '~' && KeyFromNumber(parameters[0], &key)) return Extended(key, modifiers);
  if (final == 'Z') return Character('\t');  // Shift+Tab yields a Tab
  if (final != '~' && KeyFromLetter(final, &key)) return Extended(key, modifiers);
  return Ignored();
}

}  // namespace

bool EscapeSequenceComplete(const char* bytes, std::size_t length) {
  if (length == 0) return false;
  if (length >= kLongestSequence) return true;
  if (bytes[0] == 'O') return length >= 2;
  if (bytes[0] != '[') return true;
  if (length >= 2 && bytes[1] == '[') return length >= 3;  // Linux console: ESC [ [ A
  return length >= 2 && IsFinalByte(bytes[length - 1]);
}

TerminalInput DecodeEscapeSequence(const char* bytes, std::size_t length) {
  if (length == 0) return Character(0x1B);
  if (!EscapeSequenceComplete(bytes, length) || length >= kLongestSequence) return Ignored();
  ExtendedKey key{};
  if (bytes[0] == 'O') {
    return KeyFromLetter(bytes[1], &key) ? Extended(key, {}) : Ignored();
  }
  if (bytes[0] != '[') return Character(static_cast<unsigned char>(bytes[0]));  // Alt+character
  if (bytes[1] == '[') {
    if (bytes[2] >= 'A' && bytes[2] <= 'E') {
      return Extended(static_cast<ExtendedKey>(bytes[2] - 'A'), {});
    }
    return Ignored();
  }
  return DecodeCsi(bytes + 1, length - 1);
}
