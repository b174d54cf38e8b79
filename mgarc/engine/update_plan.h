// What `mgarc update` makes of an archive, a tree of edited files and the
// entries to delete: every other entry is kept as it is, in its place.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/packing_list.h"

namespace mgarc::engine {

struct UpdatedEntry {
  const ArchiveEntry* old = nullptr;  // kept or replaced: its place and stored name
  const PackedFile* file = nullptr;   // replaced or added: where its bytes come from
};

struct UpdatePlan {
  std::vector<UpdatedEntry> entries;  // in the new directory order
  std::vector<const ArchiveEntry*> deleted;
  std::size_t replaced = 0;
  std::size_t added = 0;
  std::size_t kept = 0;
  std::vector<Problem> problems;  // when any, nothing is written
};

// "2 replaced, 1 added, 0 deleted, 5 kept", as update says it.
std::string PlanCounts(const UpdatePlan& plan);

// Why the entry's data cannot be copied into a new archive as it is (it runs
// past the end of the archive, or overlaps the directory); none when it can.
std::optional<Problem> WhyNotKept(const ArchiveView& archive, const ArchiveEntry& entry);

// files: named as create names them, sorted by stored bytes. A file replaces
// the last entry of its key (the one extract writes); files of no entry's
// key are added at the end. Every entry that a pattern of deletions matches
// (extract's pattern rules) goes.
// fold: the case folding of patterns, as extract's.
UpdatePlan PlanUpdate(const ArchiveView& archive, const std::vector<PackedFile>& files,
                      const std::vector<std::string>& deletions,
                      const std::function<std::string(std::string_view stored)>& key,
                      const FoldCase& fold);

}  // namespace mgarc::engine
