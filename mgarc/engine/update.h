// Update as the engine does it, in two steps: Prepare works out and checks
// what would change, writing nothing (a dry run, or what a window shows
// before it asks); Update writes it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/observer.h"
#include "mgarc/engine/packing_list.h"
#include "mgarc/engine/update_plan.h"

namespace mgarc::engine {

struct UpdateOptions {
  std::string archive;
  std::string directory;               // empty: only deletions
  std::vector<std::string> deletions;  // extract's patterns
  std::string deleteFrom;              // a file of names to delete, as list --names gives them
  bool nulSeparated = false;           // deleteFrom's names end with a zero byte
  std::vector<std::string> exclude;    // files of directory left out (ReadPackedTree)
  unsigned workers = 0;                // 0: one per processor
};

struct PreparedUpdate {
  std::optional<Problem> refused;  // nothing can be written (the problems were reported)
  std::vector<Problem> leftOut;    // bytes of the archive that the new one leaves out
  ArchiveView archive;
  std::vector<PackedFile> files;
  UpdatePlan plan;  // points into archive and files

  // The new archive would be the old one, byte for byte: nothing to write.
  bool upToDate() const {
    return plan.replaced == 0 && plan.added == 0 && plan.deleted.empty() && leftOut.empty();
  }
};

struct UpdateResult {
  std::optional<Problem> refused;  // not written: the archive is as it was
  bool stopped = false;            // the observer stopped it: the same
};

// Each file that cannot be put in and each entry that cannot be kept is a
// problem reported before the refusal "not written"; files that the walk leaves
// out are problems too. A file with the entry's very bytes keeps the entry.
PreparedUpdate PrepareUpdate(const UpdateOptions& options, Observer& observer);

// Writes what update holds (prepared, not refused) in place of its archive;
// nothing when it is up to date, so that its file, times and all, stays.
UpdateResult Update(PreparedUpdate& update, unsigned workers, Observer& observer);

}  // namespace mgarc::engine
