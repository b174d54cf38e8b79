// Extraction's plan, made before a byte moves. How it works:
// - Fates: every selected entry's path is judged by its key (OutputPathKey:
//   the path as the host would open it, case folded where the host folds
//   case). An entry whose key a later entry has is replaced by that one, as
//   writing them in order would leave it; a path that leads out, that the host
//   cannot hold, or that clashes with a file or a directory an earlier entry
//   made, is not written, and says why.
// - Places: each written entry gets a directory from one table (each
//   directory kept once, however many entries it holds) and a file name.
// - Work: written entries are grouped by directory into items of at most 64
//   entries or 32 MiB, so that workers share out many small files and large
//   ones alike, and the directories are made once each.
// Because all of this is decided up front and in directory order, the files
// written and the lines reported do not depend on the number of workers.
#include "mgarc/engine/extraction_plan.h"

#include <algorithm>
#include <unordered_set>

#include "mgarc/engine/entry_names.h"

namespace mgarc::engine {

namespace {

// A work item ends after this many entries or bytes, whichever comes first.
// Large enough that a directory of a few hundred files is one worker's: the
// system makes one file at a time in a directory, and two workers making
// files in one queue on it.
constexpr std::size_t kItemEntries = 512;
constexpr std::uint64_t kItemBytes = 32ull << 20;

}  // namespace

std::string FateReason(EntryFate fate, const std::string& place) {
  switch (fate) {
    case EntryFate::kLeaves:
      return "the name leads out of the " + place;
    case EntryFate::kReserved:
      return "Windows cannot hold the name as a file";
    case EntryFate::kNeedsDirectory:
      return "an earlier entry is a file where this name needs a directory";
    case EntryFate::kIsDirectory:
      return "an earlier entry needs this name as a directory";
    case EntryFate::kWrite:
    case EntryFate::kReplacedLater:
      break;
  }
  return {};
}

std::uint32_t DirectoryTable::Intern(std::uint32_t parent, std::string_view level) {
  auto found = ids_.find(std::pair<std::uint32_t, std::string_view>(parent, level));
  if (found != ids_.end()) return found->second;
  names_.append(level);
  directories_.push_back({parent, static_cast<std::uint32_t>(names_.size())});
  const auto id = static_cast<std::uint32_t>(directories_.size());
  ids_.emplace(std::pair<std::uint32_t, std::string>(parent, level), id);
  return id;
}

std::string_view DirectoryTable::Name(std::uint32_t directory) const {
  const std::uint32_t begin = directory == 1 ? 0 : directories_[directory - 2].nameEnd;
  return std::string_view(names_).substr(begin, directories_[directory - 1].nameEnd - begin);
}

std::vector<std::string_view> DirectoryTable::Levels(std::uint32_t directory) const {
  std::vector<std::string_view> levels;
  for (; directory != kRoot; directory = directories_[directory - 1].parent) {
    levels.push_back(Name(directory));
  }
  std::reverse(levels.begin(), levels.end());
  return levels;
}

std::string_view ExtractionPlan::FileName(std::size_t entry) const {
  return std::string_view(fileNames).substr(entries[entry].fileNameAt,
                                            entries[entry].fileNameLength);
}

void ExtractionPlan::Place(std::size_t entry, const std::vector<std::string>& levels) {
  std::uint32_t directory = DirectoryTable::kRoot;
  for (std::size_t l = 0; l + 1 < levels.size(); ++l) {
    directory = directories.Intern(directory, levels[l]);
  }
  entries[entry].directory = directory;
  entries[entry].fileNameAt = static_cast<std::uint32_t>(fileNames.size());
  entries[entry].fileNameLength = static_cast<std::uint16_t>(levels.back().size());
  fileNames += levels.back();
}

void DecideFates(ExtractionPlan& plan, const PathRules& rules, const DecodeLevel& decode,
                 const FoldCase& fold) {
  PathKeys keys;
  for (PlannedEntry& planned : plan.entries) {
    const std::string stored(planned.entry->stored());
    std::vector<std::string> levels = StoredLevels(stored);
    if (levels.empty() || NameLeavesDirectory(stored, levels)) {
      planned.fate = EntryFate::kLeaves;
    } else if (rules.devicesAndStreams && NameReservedOnWindows(stored, levels)) {
      planned.fate = EntryFate::kReserved;
    }
    keys.Add(planned.fate == EntryFate::kWrite ? OutputPathKey(stored, rules, decode, fold) : "");
  }
  keys.Sort();
  auto written = [&plan](std::uint32_t j) { return plan.entries[j].fate == EntryFate::kWrite; };
  // In directory order, as the files would come to be one after another.
  std::unordered_set<std::string> directories;
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    PlannedEntry& planned = plan.entries[i];
    if (planned.fate != EntryFate::kWrite) continue;
    const std::string key(keys[i]);
    // The last entry of a name wins: later ones have not been judged yet, so
    // any one left of the name's entries is a later one.
    std::vector<std::uint32_t> same = keys.With(key);
    if (std::any_of(same.begin(), same.end(), [&](std::uint32_t j) {
          return j > i && plan.entries[j].fate != EntryFate::kLeaves &&
                 plan.entries[j].fate != EntryFate::kReserved;
        })) {
      planned.fate = EntryFate::kReplacedLater;
      continue;
    }
    if (directories.count(key) != 0) {
      planned.fate = EntryFate::kIsDirectory;
      continue;
    }
    std::vector<std::string> parents = DirectoryKeys(key);
    for (const std::string& parent : parents) {
      // A directory already made was checked then; a file of its name since
      // was judged kIsDirectory.
      if (directories.count(parent) != 0) continue;
      for (std::uint32_t j : keys.With(parent)) {
        if (j < i && written(j)) planned.fate = EntryFate::kNeedsDirectory;
      }
    }
    if (planned.fate != EntryFate::kWrite) continue;
    directories.insert(parents.begin(), parents.end());
  }
}

void DivideWork(ExtractionPlan& plan) {
  // Entries of one directory, in directory order, wherever they stand.
  std::vector<std::vector<std::uint32_t>> byDirectory(plan.directories.size());
  std::vector<std::uint32_t> order;
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    const PlannedEntry& planned = plan.entries[i];
    if (planned.fate != EntryFate::kWrite) continue;
    std::vector<std::uint32_t>& slot = byDirectory[planned.directory];
    if (slot.empty()) order.push_back(planned.directory);
    slot.push_back(static_cast<std::uint32_t>(i));
  }
  for (std::uint32_t directory : order) {
    WorkItem item;
    std::uint64_t bytes = 0;
    for (std::uint32_t i : byDirectory[directory]) {
      if (item.entries.size() == kItemEntries || (!item.entries.empty() && bytes >= kItemBytes)) {
        plan.work.push_back(std::move(item));
        item = WorkItem{};
        bytes = 0;
      }
      item.entries.push_back(i);
      bytes += plan.entries[i].entry->size;
    }
    plan.work.push_back(std::move(item));
    std::vector<std::uint32_t>().swap(byDirectory[directory]);
  }
}

}  // namespace mgarc::engine
