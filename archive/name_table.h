// The output paths of one extraction run, one slot per directory entry.
#pragma once

#include <cstddef>

#include "platform/zero_block.h"

inline constexpr int kMaxEntries = 5000;
inline constexpr std::size_t kSlotSize = 127;  // 126 bytes of path and the terminator

struct NameTable {
  ZeroBlock slots[kMaxEntries];
  // The entry's stored name would lead out of the output directory: it is never written.
  bool leavesOutput[kMaxEntries];
};

inline const char* SlotPath(const NameTable& table, int i) {
  return table.slots[i].chars();
}
