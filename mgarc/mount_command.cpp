#include <map>
#include <utility>

#include "archive/path_rules.h"
#include "mgarc/archive_view.h"
#include "mgarc/commands.h"
#include "mgarc/extraction_plan.h"
#include "platform/archive_mount.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"

namespace {

using Problem = std::pair<std::string, std::string>;  // the shown name, the reason

// Why the mount does not show an entry of this fate; empty for one it shows.
std::string NotShownProblem(EntryFate fate) {
  std::string reason = FateReason(fate, "mount point");
  return reason.empty() ? reason : "not shown: " + reason;
}

// Builds the tree from the planned files, in directory order.
class TreeBuilder {
 public:
  TreeBuilder() {
    tree_.nodes.emplace_back();
    tree_.nodes[0].directory = true;
  }

  // Places a file; the problem when it cannot stand there. The plan has
  // settled every clash; a "." level is the directory it is in, as
  // extraction opens it.
  std::string Add(const std::vector<std::string>& levels, std::uint64_t offset,
                  std::uint64_t size) {
    // The kernel takes a name with '/' or a zero byte for no name at all, and
    // would fail the whole directory that lists it.
    for (const std::string& level : levels) {
      if (level.find_first_of(std::string("/\0", 2)) != std::string::npos) {
        return NotShownProblem(EntryFate::kLeaves);
      }
    }
    std::uint32_t at = 0;
    for (std::size_t l = 0; l + 1 < levels.size(); ++l) {
      if (levels[l] == ".") continue;
      std::uint32_t level = Child(at, levels[l], true);
      if (!tree_.nodes[level].directory) return NotShownProblem(EntryFate::kNeedsDirectory);
      at = level;
    }
    if (levels.back() == ".") return "not shown: a directory has this name";
    std::uint32_t file = Child(at, levels.back(), false);
    if (tree_.nodes[file].directory) return NotShownProblem(EntryFate::kIsDirectory);
    tree_.nodes[file].offset = offset;  // a later file of the same name replaces it
    tree_.nodes[file].size = size;
    return {};
  }

  MountTree Finish() {
    // The map's order is each directory's children sorted by name.
    for (const auto& [key, child] : children_) tree_.nodes[key.first].children.push_back(child);
    children_.clear();
    return std::move(tree_);
  }

 private:
  std::uint32_t Child(std::uint32_t parent, const std::string& name, bool directory) {
    auto [slot, added] =
        children_.try_emplace({parent, name}, static_cast<std::uint32_t>(tree_.nodes.size()));
    if (added) {
      MountNode node;
      node.name = name;
      node.directory = directory;
      node.parent = parent;
      tree_.nodes.push_back(std::move(node));
    }
    return slot->second;
  }

  MountTree tree_;
  std::map<std::pair<std::uint32_t, std::string>, std::uint32_t> children_;
};

// The tree `mgarc extract` would write here, and the entries it leaves out.
MountTree PlanTree(const ArchiveView& archive, std::vector<Problem>& problems) {
  // Extraction's own fates; its division into work items is not needed here.
  ExtractionPlan plan;
  for (const ArchiveEntry& entry : archive.entries) {
    plan.entries.push_back(PlannedEntry{&entry, EntryFate::kWrite, {}});
  }
  NameCodec codec;
  DecideFates(plan, kHostRules, DecodeWith(codec), UppercaseText);
  TreeBuilder builder;
  for (PlannedEntry& planned : plan.entries) {
    const ArchiveEntry& entry = *planned.entry;
    if (planned.fate == EntryFate::kReplacedLater) continue;
    std::string problem = NotShownProblem(planned.fate);
    if (problem.empty()) {
      for (std::string& level : planned.levels) level = codec.FileName(level);
      problem = builder.Add(planned.levels, entry.offset, entry.held);
      if (problem.empty()) problem = CutShortProblem(entry);
    }
    if (!problem.empty()) problems.emplace_back(entry.shown, std::move(problem));
  }
  return builder.Finish();
}

}  // namespace

int RunMount(const MountOptions& options) {
  std::string reason;
  if (!ArchiveMountAvailable(reason)) {
    ReportProblem("mount", reason);
    return kExitStopped;
  }
  MountSettings settings;
  std::vector<Problem> problems;
  MountTree tree;
  {
    ArchiveView archive;
    if (!OpenArchive(options.archive, archive)) return kExitStopped;
    tree = PlanTree(archive, problems);
    settings.archive = PathFromUtf8(options.archive);
    settings.identity = archive.identity;
    settings.modified = archive.modified;
  }
  settings.mountPoint = PathFromUtf8(options.mountPoint);
  settings.foreground = options.foreground;
  // Reported once the mount stands, so that a failed start says one thing only.
  auto reportProblems = [&problems] {
    for (const Problem& problem : problems) ReportProblem(problem.first, problem.second);
  };
  if (!ServeArchiveMount(tree, settings, reportProblems, reason)) {
    ReportProblem(options.mountPoint, reason);
    return kExitStopped;
  }
  return kExitDone;
}
