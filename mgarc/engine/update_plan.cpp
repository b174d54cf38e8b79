// Which entries update keeps, replaces, adds and deletes.
#include "mgarc/engine/update_plan.h"

#include <unordered_map>

#include "mgarc/engine/entry_names.h"

namespace mgarc::engine {

std::string PlanCounts(const UpdatePlan& plan) {
  return std::to_string(plan.replaced) + " replaced, " + std::to_string(plan.added) + " added, " +
         std::to_string(plan.deleted.size()) + " deleted, " + std::to_string(plan.kept) + " kept";
}

std::optional<Problem> WhyNotKept(const ArchiveView& archive, const ArchiveEntry& entry) {
  if (entry.end() > archive.fileSize) {
    return Problem{entry.shown(),
                   "cannot be kept: its data runs past the end of the archive (replace it with a "
                   "file, or delete it)"};
  }
  if (entry.size > 0 && entry.offset < archive.directoryEnd() &&
      entry.end() > archive.directoryOffset) {
    return Problem{entry.shown(),
                   "cannot be kept: its data overlaps the directory (replace it with a file, or "
                   "delete it)"};
  }
  return std::nullopt;
}

UpdatePlan PlanUpdate(const ArchiveView& archive, const std::vector<PackedFile>& files,
                      const std::vector<std::string>& deletions,
                      const std::function<std::string(std::string_view stored)>& key,
                      const FoldCase& fold) {
  UpdatePlan plan;
  const std::size_t count = archive.entries.size();
  std::vector<const PackedFile*> replacement(count, nullptr);
  std::vector<bool> deleted(count, false);
  for (const std::string& pattern : deletions) {
    bool matched = false;
    for (std::size_t i = 0; i < count; ++i) {
      if (GlobMatches(pattern, archive.entries[i].shown(), fold)) deleted[i] = matched = true;
    }
    if (!matched) plan.problems.push_back({pattern, "no entry matches"});
  }
  std::unordered_map<std::string, std::size_t> lastOfKey;
  for (std::size_t i = 0; i < count; ++i) lastOfKey[key(archive.entries[i].stored())] = i;
  std::vector<const PackedFile*> added;
  for (const PackedFile& file : files) {
    auto found = lastOfKey.find(key(file.stored));
    if (found == lastOfKey.end()) {
      added.push_back(&file);
    } else if (deleted[found->second]) {
      plan.problems.push_back({file.relative, "both replaced and deleted"});
    } else {
      replacement[found->second] = &file;
    }
  }

  for (std::size_t i = 0; i < count; ++i) {
    const ArchiveEntry& entry = archive.entries[i];
    if (deleted[i]) {
      plan.deleted.push_back(&entry);
      continue;
    }
    plan.entries.push_back({&entry, replacement[i]});
    if (replacement[i] != nullptr) {
      ++plan.replaced;
      continue;
    }
    ++plan.kept;
    if (std::optional<Problem> why = WhyNotKept(archive, entry)) {
      plan.problems.push_back(std::move(*why));
    }
  }
  for (const PackedFile* file : added) plan.entries.push_back({nullptr, file});
  plan.added = added.size();
  return plan;
}

}  // namespace mgarc::engine
