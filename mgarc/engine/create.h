// Create as the engine does it: every file below a directory packed into a
// new archive.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/observer.h"

namespace mgarc::engine {

struct CreateOptions {
  std::string archive;
  std::string directory;
  std::string magic = "VIZ00";
  std::string orderFile;             // empty: sorted by stored names; "-": standard input
  bool nulSeparated = false;         // the order file's names end with a zero byte
  std::vector<std::string> exclude;  // files of directory left out (ReadPackedTree)
  unsigned workers = 0;              // 0: one per processor
  bool replaceExisting = false;      // false: a file at ARCHIVE is a refusal
};

struct CreateResult {
  std::optional<Problem> refused;  // nothing was written: ARCHIVE is as it was
  bool stopped = false;            // the observer stopped it: the same
  std::size_t files = 0;           // once written: the files packed
  std::uint64_t bytes = 0;         // and their bytes
};

// Each file that cannot be packed is a problem reported before the refusal
// "not written"; files left out and names missing from the order file are
// problems too, and each file packed is an item done (its name as list shows it).
CreateResult Create(const CreateOptions& options, Observer& observer);

}  // namespace mgarc::engine
