// What an extraction writes where, decided before a byte moves, so that the
// result does not depend on how many workers run.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "archive/path_rules.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/entry_names.h"

namespace mgarc::engine {

enum class EntryFate : std::uint8_t {
  kWrite,
  kReplacedLater,   // a later entry is the same file: it wins
  kLeaves,          // the name leads out of the output directory
  kReserved,        // Windows cannot hold the name as a file
  kNeedsDirectory,  // a level of its path is an earlier entry's file
  kIsDirectory,     // an earlier entry needs its name as a directory
};

// The directories that entries are written to, each kept once however many
// entries it holds: one level and the directory it lies in.
class DirectoryTable {
 public:
  static constexpr std::uint32_t kRoot = 0;

  // The directory named level inside parent, added when it is new.
  std::uint32_t Intern(std::uint32_t parent, std::string_view level);
  // The levels from the root to directory, outermost first; valid until the next Intern.
  std::vector<std::string_view> Levels(std::uint32_t directory) const;
  // With the root.
  std::size_t size() const { return directories_.size() + 1; }

 private:
  struct Directory {
    std::uint32_t parent;
    std::uint32_t nameEnd;  // where its name ends in names_, which holds them one after another
  };
  std::string_view Name(std::uint32_t directory) const;

  std::vector<Directory> directories_;  // from 1 on
  std::string names_;
  // A directory's parent and name, compared with either a std::string or a view of one.
  struct ByParentAndName {
    using is_transparent = void;
    template <typename A, typename B>
    bool operator()(const A& a, const B& b) const {
      return std::pair<std::uint32_t, std::string_view>(a.first, a.second) <
             std::pair<std::uint32_t, std::string_view>(b.first, b.second);
    }
  };
  std::map<std::pair<std::uint32_t, std::string>, std::uint32_t, ByParentAndName> ids_;
};

struct PlannedEntry {
  const ArchiveEntry* entry = nullptr;
  EntryFate fate = EntryFate::kWrite;
  // For kWrite, the file: its directory (ExtractionPlan::directories) and its
  // name (ExtractionPlan::FileName), in the host's file-name encoding.
  std::uint32_t directory = DirectoryTable::kRoot;
  std::uint32_t fileNameAt = 0;
  std::uint16_t fileNameLength = 0;
};

// Entries written one after another by one worker: all in one directory.
struct WorkItem {
  std::vector<std::uint32_t> entries;  // into ExtractionPlan::entries, in directory order
};

struct ExtractionPlan {
  std::vector<PlannedEntry> entries;  // the selected ones, in directory order
  std::vector<WorkItem> work;         // every kWrite entry in exactly one item
  DirectoryTable directories;
  std::string fileNames;  // the kWrite entries' file names, one after another

  std::string_view FileName(std::size_t entry) const;
  // Places a kWrite entry at its levels (already file names; the last is the file).
  void Place(std::size_t entry, const std::vector<std::string>& levels);
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
    if (selected[i]) plan.entries.push_back(PlannedEntry{&archive.entries[i]});
  }
  DecideFates(plan, rules, decode, fold);
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    if (plan.entries[i].fate != EntryFate::kWrite) continue;
    std::vector<std::string> levels = StoredLevels(plan.entries[i].entry->stored());
    for (std::string& level : levels) level = fileName(level);
    plan.Place(i, levels);
  }
  DivideWork(plan);
  return plan;
}

}  // namespace mgarc::engine
