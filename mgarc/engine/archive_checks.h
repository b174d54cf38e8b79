// Everything verify reports about an archive that opened: data, names, layout.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/archive_view.h"

namespace mgarc::engine {

struct Finding {
  std::string kind;          // data_past_end, name_not_decodable, ...
  std::optional<int> index;  // the entry, counting from 1; none for the archive as a whole
  std::string message;
  std::string name = {};  // without an index: the name of an entry the archive lacks, if any
};

// Every finding, the archive's own first, then the entries' in directory order.
// encode gives the stored bytes for decoded text (false when it has none);
// decode gives a stored level's text, fold its case.
template <typename Encode>
std::vector<Finding> CheckArchive(const ArchiveView& archive, Encode encode,
                                  const DecodeLevel& decode, const FoldCase& fold);

std::vector<Finding> CheckArchiveLayout(const ArchiveView& archive);
// Findings on one entry's data and name; canonical tells whether its decoded
// name encodes back to the stored bytes.
void CheckEntry(const ArchiveView& archive, const ArchiveEntry& entry, bool canonical,
                std::vector<Finding>& findings);
// Names that are one file, or a file and a directory, where extract writes
// them on Windows (OutputPathKey: case ignored).
void CheckNameClashes(const ArchiveView& archive, const DecodeLevel& decode, const FoldCase& fold,
                      std::vector<Finding>& findings);

template <typename Encode>
std::vector<Finding> CheckArchive(const ArchiveView& archive, Encode encode,
                                  const DecodeLevel& decode, const FoldCase& fold) {
  std::vector<Finding> findings = CheckArchiveLayout(archive);
  std::vector<Finding> clashes;
  CheckNameClashes(archive, decode, fold, clashes);
  auto clash = clashes.begin();
  for (const ArchiveEntry& entry : archive.entries) {
    std::string encoded;
    const std::optional<std::string_view> decoded = entry.decoded();
    bool canonical =
        !decoded || (encode(std::string(*decoded), encoded) && encoded == entry.stored());
    CheckEntry(archive, entry, canonical, findings);
    for (; clash != clashes.end() && clash->index == entry.index; ++clash) {
      findings.push_back(*clash);
    }
  }
  return findings;
}

}  // namespace mgarc::engine
