#include "mgarc/extraction_plan.h"

#include <map>
#include <unordered_map>
#include <unordered_set>

#include "mgarc/entry_names.h"

namespace {

// A work item ends after this many entries or bytes, whichever comes first.
constexpr std::size_t kItemEntries = 64;
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

void DecideFates(ExtractionPlan& plan, const PathRules& rules, const DecodeLevel& decode,
                 const FoldCase& fold) {
  std::unordered_map<std::string, std::size_t> lastOfName;
  std::vector<std::string> keys(plan.entries.size());
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    PlannedEntry& planned = plan.entries[i];
    const std::string& stored = planned.entry->stored;
    planned.levels = StoredLevels(stored);
    if (planned.levels.empty() || NameLeavesDirectory(stored, planned.levels)) {
      planned.fate = EntryFate::kLeaves;
    } else if (rules.devicesAndStreams && NameReservedOnWindows(stored, planned.levels)) {
      planned.fate = EntryFate::kReserved;
    } else {
      keys[i] = OutputPathKey(stored, rules, decode, fold);
      lastOfName[keys[i]] = i;
    }
  }
  // In directory order, as the files would come to be one after another.
  std::unordered_set<std::string> files;
  std::unordered_set<std::string> directories;
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    PlannedEntry& planned = plan.entries[i];
    if (planned.fate != EntryFate::kWrite) continue;
    if (lastOfName[keys[i]] != i) {
      planned.fate = EntryFate::kReplacedLater;
      continue;
    }
    if (directories.count(keys[i]) != 0) {
      planned.fate = EntryFate::kIsDirectory;
      continue;
    }
    std::vector<std::string> parents = DirectoryKeys(keys[i]);
    for (const std::string& parent : parents) {
      if (files.count(parent) != 0) planned.fate = EntryFate::kNeedsDirectory;
    }
    if (planned.fate != EntryFate::kWrite) continue;
    files.insert(keys[i]);
    directories.insert(parents.begin(), parents.end());
  }
}

void DivideWork(ExtractionPlan& plan) {
  // Entries of one directory, in directory order, wherever they stand.
  std::map<std::string, std::vector<std::size_t>> byDirectory;
  std::vector<std::string> order;
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    const PlannedEntry& planned = plan.entries[i];
    if (planned.fate != EntryFate::kWrite) continue;
    std::string directory = NameKey(planned.levels, planned.levels.size() - 1);
    auto [slot, added] = byDirectory.try_emplace(directory);
    if (added) order.push_back(directory);
    slot->second.push_back(i);
  }
  for (const std::string& directory : order) {
    WorkItem item;
    std::uint64_t bytes = 0;
    for (std::size_t i : byDirectory[directory]) {
      if (item.entries.size() == kItemEntries || (!item.entries.empty() && bytes >= kItemBytes)) {
        plan.work.push_back(std::move(item));
        item = WorkItem{};
        bytes = 0;
      }
      item.entries.push_back(i);
      bytes += plan.entries[i].entry->size;
    }
    plan.work.push_back(std::move(item));
  }
}
