// SHA-256 of an archive, of each entry's data and of the bytes outside the
// entries, from one pass over the file: what diff compares and a patch records.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/observer.h"
#include "platform/sha256.h"

namespace mgarc::engine {

struct ArchiveDigests {
  Sha256Digest whole{};
  std::vector<Sha256Digest> entries;  // of the bytes of each entry that the file holds
  Sha256Digest gap{};                 // between the entries' data and the directory
  Sha256Digest trailing{};            // after the directory and the entries' data
};

// Reads archive.file from start to end: a problem about the archive when a
// read fails or the file ends early (it changed since it was loaded).
// wholeOnly leaves all but the whole file's digest empty: half the hashing.
std::optional<Problem> DigestArchive(const ArchiveView& archive, ArchiveDigests& digests,
                                     bool wholeOnly = false);

}  // namespace mgarc::engine
