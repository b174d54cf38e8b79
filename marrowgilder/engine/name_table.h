// The output paths of one extraction run, one slot per directory entry.
#pragma once

#include <cstddef>

#include "archive/archive_format.h"
#include "archive/path_rules.h"
#include "archive/stored_names.h"
#include "platform/zero_block.h"

namespace marrowgilder::engine {

// An output directory of up to this many bytes fits a slot whatever the names.
inline constexpr std::size_t kOutputDirectoryRoom = 113;

// The directory, one separator, the longest host form of a stored name, the
// terminator: 127 bytes on Windows, 151 on Linux.
constexpr std::size_t SlotSizeFor(const PathRules& rules) {
  return kOutputDirectoryRoom + 1 + kNameFieldSize * rules.bytesPerNameByte + 1;
}

inline constexpr std::size_t kSlotSize = SlotSizeFor(kHostRules);

struct NameTable {
  ZeroBlock slots[kMarrowgilderEntryLimit];
  // An entry whose stored name is refused is never written, nor its directories made.
  NameRefusal refusal[kMarrowgilderEntryLimit];
};

inline const char* SlotPath(const NameTable& table, int i) {
  return table.slots[i].chars();
}

}  // namespace marrowgilder::engine
