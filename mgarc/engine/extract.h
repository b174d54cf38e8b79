// Extraction as the engine does it: an archive's entries written as files,
// by workers, each entry's fate decided before a byte moves.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/observer.h"

namespace mgarc::engine {

struct ExtractOptions {
  std::string archive;
  std::vector<std::string> patterns;
  std::string directory;       // empty: named after the archive, in the current directory
  bool besideArchive = false;  // the default directory goes beside the archive instead
  unsigned workers = 0;        // 0: one per processor
  bool keepExisting = false;
};

struct ExtractResult {
  std::optional<Problem> refused;  // nothing was done: the archive or the directory failed
  bool allMatched = true;          // every pattern matched an entry
  bool allWritten = true;          // every selected entry was written (or kept)
  bool stopped = false;            // the observer stopped it: no file is left half-written
};

// Each pattern that matches nothing and each entry not written is a problem
// reported to observer; each entry written is an item done ("DIRECTORY/NAME").
ExtractResult Extract(const ExtractOptions& options, Observer& observer);

}  // namespace mgarc::engine
