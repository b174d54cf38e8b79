// What differs between two archives, entry by entry, and the patch that turns
// one into the other: decided from the archives' directories and digests.
#pragma once

#include <array>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mgarc/engine/archive_digests.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/patch_format.h"

namespace mgarc::engine {

enum class ChangeKind { kChanged, kAdded, kRemoved, kRenamed, kReordered, kOutside };

struct ArchiveChange {
  ChangeKind kind = ChangeKind::kChanged;
  const ArchiveEntry* before = nullptr;  // of OLD: changed, removed, renamed
  const ArchiveEntry* after = nullptr;   // of NEW: changed, added, renamed
};

struct ArchiveDifference {
  bool identical = false;  // the two files hold the same bytes
  // Changed, added, removed and renamed entries (each kind in directory
  // order), then one reordered and one outside change where they apply.
  std::vector<ArchiveChange> changes;
};

// A change as diff prints it ("changed A.TXT (10 -> 12)").
std::string ChangeLine(const ArchiveChange& change);
// How many entries are changed, added, removed and renamed.
std::array<int, 4> ChangeCounts(const ArchiveDifference& difference);

// Pairs entries by nameKey (entries of one key in order); an unpaired removed
// and added entry with the same bytes are a rename.
ArchiveDifference CompareArchives(const ArchiveView& before, const ArchiveDigests& beforeDigests,
                                  const ArchiveView& after, const ArchiveDigests& afterDigests,
                                  const std::function<std::string(const ArchiveEntry&)>& nameKey);

// A patch from before to after: data that an entry of before holds whole is
// referenced; a changed entry (of difference), the header and what follows
// the entries are referenced where their bytes agree with before's, and
// stored where not.
struct PatchPlan {
  PatchTables tables;
  // For each stored piece in order: where its bytes are in after.
  std::vector<std::uint64_t> storedFrom;
};
PatchPlan PlanPatch(const ArchiveView& before, const ArchiveDigests& beforeDigests,
                    const ArchiveView& after, const ArchiveDigests& afterDigests,
                    const ArchiveDifference& difference);

// How archive's entries differ from those the patch expects of OLD, paired
// by nameKey as diff pairs them: "changed NAME" (its size or bytes), then
// "missing NAME" (OLD's, not in archive; shown gives its name), then "extra
// NAME", in directory order (the missing of a version 2 patch by name
// key). None when more differ than a version 2 patch's table can tell.
std::optional<std::vector<std::string>> EntriesUnlikePatch(
    const ArchiveView& archive, const ArchiveDigests& digests, const PatchTables& tables,
    const std::function<std::string(std::string_view stored)>& nameKey,
    const std::function<std::string(std::string_view stored)>& shown);

}  // namespace mgarc::engine
