// Diff as the engine does it: two archives compared entry by entry, and,
// when asked, the patch that turns the first into the second.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mgarc/engine/archive_changes.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/observer.h"

namespace mgarc::engine {

struct DiffOptions {
  std::string oldArchive;
  std::string newArchive;
  std::string patch;     // empty: no patch written
  unsigned workers = 0;  // 0: one per processor
};

struct DiffResult {
  std::optional<Problem> refused;  // an archive could not be read, or the patch not written
  bool stopped = false;            // the observer stopped the patch's writing: none was left
  ArchiveView before;
  ArchiveView after;
  ArchiveDifference difference;  // its changes point into before and after
  std::uint64_t patchSize = 0;   // the patch's bytes, once written
};

DiffResult Diff(const DiffOptions& options, Observer& observer);

}  // namespace mgarc::engine
