// Extraction as the engine does it: an archive's entries written as files,
// by workers, each entry's fate decided before a byte moves.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/observer.h"

namespace mgarc::engine {

// What becomes of a file already where an entry goes.
enum class ExistingFiles {
  kKeepDiffering,  // left; one whose bytes differ from the entry's is reported as kept
  kKeep,           // left, whatever it holds, and nothing said
  kReplace,        // replaced by the entry
};

struct ExtractOptions {
  std::string archive;
  std::vector<std::string> patterns;
  // Entries by name (as list shows them, case ignored), besides the patterns:
  // a window's selection, matched in one pass however many it holds.
  std::vector<std::string> names;
  std::string directory;       // empty: named after the archive, in the current directory
  bool besideArchive = false;  // the default directory goes beside the archive instead
  unsigned workers = 0;        // 0: one per processor
  ExistingFiles existing = ExistingFiles::kKeepDiffering;
};

struct ExtractResult {
  std::optional<Problem> refused;  // nothing was done: the archive or the directory failed
  bool allMatched = true;          // every pattern matched an entry
  bool allWritten = true;          // every selected entry was written (or kept)
  bool stopped = false;            // the observer stopped it: no file is left half-written
  std::vector<std::string> kept;   // entries (as list names them) whose differing files were left
  std::size_t files = 0;           // entries now on disk as files: written, or there already
  std::uint64_t bytes = 0;         // the bytes of the entries looked at
};

// Each pattern and name that matches nothing, each entry not written and each file kept
// that differs ("kept DIRECTORY/NAME") is a problem reported to observer; each
// entry on disk is an item done ("DIRECTORY/NAME").
ExtractResult Extract(const ExtractOptions& options, Observer& observer);

}  // namespace mgarc::engine
