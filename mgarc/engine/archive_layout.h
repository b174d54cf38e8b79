// The layout of a new archive, for create and update alike: the header, the
// entries' data back to back from byte 16 on, then the directory.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string_view>
#include <vector>

#include "archive/archive_format.h"
#include "mgarc/engine/archive_writer.h"

namespace mgarc::engine {

// One entry of the new archive: its stored name and where its bytes are.
struct NewEntry {
  std::string_view stored;  // at most 12 bytes
  std::uint64_t size = 0;
  const NativePath* file = nullptr;  // read from this file; else
  std::uint64_t offset = 0;          // from the plan's first source, here
};

// The plan that writes entries in order. header gives the magic and the
// reserved bytes; the count and the directory's offset are the new ones.
// sources: where the ranges of entries without a file come from. The plan
// points at the entries' file paths: they must outlive it.
WritePlan LayOutArchive(const std::array<unsigned char, kFirstEntryOffset>& header,
                        const std::vector<NewEntry>& entries, std::vector<WriteSource> sources);

}  // namespace mgarc::engine
