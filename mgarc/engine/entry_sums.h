// SHA-256 of each entry's bytes, in sha256sum's format: what `list --sha256`
// prints and `verify --sums` checks, since the archive itself keeps no sums.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mgarc/engine/archive_checks.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/observer.h"
#include "platform/sha256.h"

namespace mgarc::engine {

struct EntrySums {
  std::optional<Problem> refused;  // some entry could not be read (each one reported)
  bool stopped = false;            // the observer stopped it
  // Each entry's, in directory order, of the bytes the archive holds of it:
  // those extract writes. None for an entry not read.
  std::vector<std::optional<Sha256Digest>> digests;
};

// Hashes the entries on workers (0: one per processor). With lines, each
// entry hashed is an item done, its SumsLine, and one whose data is cut short
// is a problem too.
EntrySums HashEntries(const ArchiveView& archive, unsigned workers, bool lines, Observer& observer);

std::string LowerHex(std::string_view bytes);

// "HASH  NAME" as sha256sum writes it: a name holding '\' or a line break
// is written escaped, after a '\' that starts the line.
std::string SumsLine(const Sha256Digest& digest, std::string_view name);

// The lines of a sums file, name and digest, in its order.
using SumsList = std::vector<std::pair<std::string, Sha256Digest>>;
// Reads a file of SumsLine lines (or "-": standard input); blank lines are
// skipped, a "./" before a name is dropped, a line ending "\r\n" is read as one.
std::optional<Problem> ReadSums(const std::string& path, SumsList& sums);

// The entries that differ from the list, by name as list shows it: changed
// and extra (with the entry), missing (listed, not in the archive).
std::vector<Finding> CompareSums(const ArchiveView& archive,
                                 const std::vector<std::optional<Sha256Digest>>& digests,
                                 const SumsList& sums);

}  // namespace mgarc::engine
