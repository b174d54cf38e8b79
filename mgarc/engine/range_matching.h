// Where the bytes of a range of NEW can be copied from a range of OLD: what
// lets a patch carry only the bytes an edit changed.
#pragma once

#include <cstdint>
#include <vector>

#include "platform/file_stream.h"

namespace mgarc::engine {

// length bytes of NEW at newOffset are those of OLD at oldOffset.
struct RangeMatch {
  std::uint64_t newOffset = 0;
  std::uint64_t oldOffset = 0;
  std::uint64_t length = 0;
};

// The matches of NEW's [newFrom, newTo) in OLD's [oldFrom, oldTo), in NEW's
// order and apart: the common start and end, and between them blocks found
// by a rolling hash, as rsync finds them, each grown as far as the bytes
// agree. Bytes are read from the files as needed (little is held); a range
// that cannot be read is matched no further.
std::vector<RangeMatch> MatchRange(InputFile& oldFile, std::uint64_t oldFrom, std::uint64_t oldTo,
                                   InputFile& newFile, std::uint64_t newFrom, std::uint64_t newTo);

}  // namespace mgarc::engine
