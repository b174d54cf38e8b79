// The files below a directory that create and update pack.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/observer.h"
#include "mgarc/engine/packing_list.h"
#include "platform/file_stream.h"

namespace mgarc::engine {

struct PackedTree {
  std::optional<Problem> refused;  // not a directory, or it cannot be read
  std::vector<PackedFile> files;   // with their stored names, in one order on every machine
  std::vector<Problem> problems;   // names that cannot be stored: nothing may be written
};

// Every regular file below directory (UTF-8, as given), links followed, named
// as create names them. What cannot be packed (a loop, an empty directory,
// neither file nor directory) is reported to observer and left out, as are
// the files of leaveOut (the archive itself, when it lies inside). Paths that
// an exclude pattern matches (extract's patterns over the path below
// directory, or over one of its directories) are left out without a word.
// Up to workers threads read directories at once (0: one per processor).
PackedTree ReadPackedTree(const std::string& directory, const std::vector<FileIdentity>& leaveOut,
                          const std::vector<std::string>& exclude, Observer& observer,
                          unsigned workers);

// True when a pattern matches relative ("a/b/c") or a directory it lies in ("a", "a/b").
bool Excluded(const std::vector<std::string>& patterns, const std::string& relative);

}  // namespace mgarc::engine
