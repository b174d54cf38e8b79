// The conventional two-code sequences of the keys that yield no character:
// a prefix (0 or 0xE0) and a second code, by key and modifier state, as the
// Windows console's runtime reports them.
#pragma once

enum class ExtendedKey {
  kF1,
  kF2,
  kF3,
  kF4,
  kF5,
  kF6,
  kF7,
  kF8,
  kF9,
  kF10,
  kF11,
  kF12,
  kHome,
  kUp,
  kPageUp,
  kLeft,
  kRight,
  kEnd,
  kDown,
  kPageDown,
  kInsert,
  kDelete,
};

struct KeyModifiers {
  bool shift = false;
  bool ctrl = false;
  bool alt = false;
};

struct KeyCodes {
  int prefix;
  int second;
};

// Alt wins over Ctrl, and Ctrl over Shift, where several are held.
KeyCodes ExtendedKeyCodes(ExtendedKey key, KeyModifiers modifiers);
