// The output paths of one extraction run, one slot per directory entry.
#pragma once

#include <cstddef>

#include "archive/stored_names.h"
#include "platform/zero_block.h"

inline constexpr int kMaxEntries = 5000;
inline constexpr std::size_t kSlotSize = 127;  // 126 bytes of path and the terminator

struct NameTable {
  ZeroBlock slots[kMaxEntries];
  // An entry whose stored name is refused is never written, nor its directories made.
  NameRefusal refusal[kMaxEntries];
};

inline const char* SlotPath(const NameTable& table, int i) {
  return table.slots[i].chars();
}
