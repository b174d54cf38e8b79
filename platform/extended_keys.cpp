#include "platform/extended_keys.h"

namespace {

// Second codes for no modifier, Shift, Ctrl and Alt.
struct KeyRow {
  int prefix;     // for no modifier, Shift and Ctrl
  int altPrefix;  // for Alt
  int codes[4];
};

constexpr KeyRow kKeyRows[] = {
    {0x00, 0x00, {59, 84, 94, 104}},     // F1
    {0x00, 0x00, {60, 85, 95, 105}},     // F2
    {0x00, 0x00, {61, 86, 96, 106}},     // F3
    {0x00, 0x00, {62, 87, 97, 107}},     // F4
    {0x00, 0x00, {63, 88, 98, 108}},     // F5
    {0x00, 0x00, {64, 89, 99, 109}},     // F6
    {0x00, 0x00, {65, 90, 100, 110}},    // F7
    {0x00, 0x00, {66, 91, 101, 111}},    // F8
    {0x00, 0x00, {67, 92, 102, 112}},    // F9
    {0x00, 0x00, {68, 93, 103, 113}},    // F10
    {0xE0, 0xE0, {133, 135, 137, 139}},  // F11
    {0xE0, 0xE0, {134, 136, 138, 140}},  // F12
    {0xE0, 0x00, {71, 71, 119, 151}},    // Home
    {0xE0, 0x00, {72, 72, 141, 152}},    // Up
    {0xE0, 0x00, {73, 73, 134, 153}},    // Page Up
    {0xE0, 0x00, {75, 75, 115, 155}},    // Left
    {0xE0, 0x00, {77, 77, 116, 157}},    // Right
    {0xE0, 0x00, {79, 79, 117, 159}},    // End
    {0xE0, 0x00, {80, 80, 145, 160}},    // Down
    {0xE0, 0x00, {81, 81, 118, 161}},    // Page Down
    {0xE0, 0x00, {82, 82, 146, 162}},    // Insert
    {0xE0, 0x00, {83, 83, 147, 163}},    // Delete
};

}  // namespace

KeyCodes ExtendedKeyCodes(ExtendedKey key, KeyModifiers modifiers) {
  const KeyRow& row = kKeyRows[static_cast<int>(key)];
  if (modifiers.alt) return {row.altPrefix, row.codes[3]};
  if (modifiers.ctrl) return {row.prefix, row.codes[2]};
  if (modifiers.shift) return {row.prefix, row.codes[1]};
  return {row.prefix, row.codes[0]};
}
