// Verify as the engine does it: every byte of the entries' data read, then
// every check on the archive's layout and names.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/archive_checks.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/entry_sums.h"
#include "mgarc/engine/observer.h"

namespace mgarc::engine {

struct VerifyResult {
  std::optional<Problem> refused;  // the archive could not be opened or read to its end
  bool stopped = false;            // the observer stopped it
  ArchiveView archive;             // as loaded: the findings name its entries
  std::vector<Finding> findings;   // the archive's own first, then by entry
};

// Progress is reported in bytes read; the findings come only with the result.
// With sums, each entry is hashed on workers (0: one per processor) and
// checked against them as well.
VerifyResult Verify(const std::string& archive, Observer& observer, const SumsList* sums = nullptr,
                    unsigned workers = 0);

}  // namespace mgarc::engine
