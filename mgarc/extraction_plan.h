// What an extraction writes where, decided before a byte moves, so that the
// result does not depend on how many workers run.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "archive/path_rules.h"
#include "mgarc/archive_view.h"
#include "mgarc/entry_names.h"

enum class EntryFate {
  kWrite,
  kReplacedLater,   // a later entry is the same file: it wins
  kLeaves,          // the name leads out of the output directory
  kReserved,        // Windows cannot hold the name as a file
  kNeedsDirectory,  // a level of its path is an earlier entry's file
  kIsDirectory,     // an earlier entry needs its name as a directory
};

struct PlannedEntry {
  const ArchiveEntry* entry = nullptr;
  EntryFate fate = EntryFate::kWrite;
  std::vector<std::string> levels;  // in the host's file-name encoding; the last is the file
};

// Entries written one after another by one worker: all in one directory.
struct WorkItem {
  std::vector<std::size_t> entries;  // into ExtractionPlan::entries, in directory order
};

struct ExtractionPlan {
  std::vector<PlannedEntry> entries;  // the selected ones, in directory order
  std::vector<WorkItem> work;         // every kWrite entry in exactly one item
};

// Plans the selected entries (selected[i] for archive.entries[i]) for a host
// with the given rules. fileName turns one stored level into its file name;
// decode gives its text and fold its case, by which names are judged one file
// (OutputPathKey).
template <typename FileName>
ExtractionPlan PlanExtraction(const ArchiveView& archive, const std::vector<bool>& selected,
                              const PathRules& rules, const DecodeLevel& decode,
                              const FoldCase& fold, FileName fileName);

// Why an entry of this fate is not written: "the name leads out of the "
// followed by place, and so on; empty for kWrite and kReplacedLater.
std::string FateReason(EntryFate fate, const std::string& place);

// The fates, decided on stored names and the paths they give (OutputPathKey).
void DecideFates(ExtractionPlan& plan, const PathRules& rules, const DecodeLevel& decode,
                 const FoldCase& fold);
// Groups the entries to write into work items: one directory each, and no
// more than a share of the work, so that workers stay busy on large entries too.
void DivideWork(ExtractionPlan& plan);

template <typename FileName>
ExtractionPlan PlanExtraction(const ArchiveView& archive, const std::vector<bool>& selected,
                              const PathRules& rules, const DecodeLevel& decode,
                              const FoldCase& fold, FileName fileName) {
  ExtractionPlan plan;
  for (std::size_t i = 0; i < archive.entries.size(); ++i) {
    if (selected[i])
      plan.entries.push_back(PlannedEntry{&archive.entries[i], EntryFate::kWrite, {}});
  }
  DecideFates(plan, rules, decode, fold);
  for (PlannedEntry& planned : plan.entries) {
    for (std::string& level : planned.levels) level = fileName(level);
  }
  DivideWork(plan);
  return plan;
}
