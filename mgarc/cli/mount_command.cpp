#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "archive/path_rules.h"
#include "mgarc/cli/commands.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/extraction_plan.h"
#include "mgarc/engine/mount_tree.h"
#include "platform/archive_mount.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"

namespace mgarc::cli {
using namespace engine;

namespace {

using Problem = std::pair<std::string, std::string>;  // the shown name, the reason

// The tree `mgarc extract` would write here, and the entries it leaves out.
void PlanTree(const ArchiveView& archive, MountTree& tree, std::vector<Problem>& problems) {
  NameCodec codec;
  // Extraction's own fates; its division into work items is not needed here,
  // nor the plan once the fates are known.
  std::vector<EntryFate> fates;
  {
    ExtractionPlan plan;
    plan.entries.reserve(archive.entries.size());
    for (const ArchiveEntry& entry : archive.entries) {
      plan.entries.push_back(PlannedEntry{&entry});
    }
    DecideFates(plan, kHostRules, DecodeWith(codec), UppercaseText);
    fates.reserve(plan.entries.size());
    for (const PlannedEntry& planned : plan.entries) fates.push_back(planned.fate);
  }
  tree.Reserve(static_cast<std::size_t>(std::count(fates.begin(), fates.end(), EntryFate::kWrite)));
  for (std::size_t i = 0; i < archive.entries.size(); ++i) {
    const ArchiveEntry& entry = archive.entries[i];
    if (fates[i] == EntryFate::kReplacedLater) continue;
    std::string problem = NotShownProblem(fates[i]);
    if (problem.empty()) {
      std::vector<std::string> levels = StoredLevels(entry.stored());
      for (std::string& level : levels) level = codec.FileName(level);
      problem = tree.Add(levels, entry.offset, entry.held);
      if (problem.empty()) problem = CutShortProblem(entry);
    }
    if (!problem.empty()) problems.emplace_back(entry.shown(), std::move(problem));
  }
  tree.Finish();
}

}  // namespace

ExitStatus RunMount(const MountOptions& options) {
  std::string reason;
  if (!ArchiveMountAvailable(reason)) {
    ReportProblem("mount", reason);
    return ExitStatus::kStopped;
  }
  MountSettings settings;
  std::vector<Problem> problems;
  MountTree tree;
  {
    ArchiveView archive;
    if (!OpenArchive(options.archive, archive)) return ExitStatus::kStopped;
    PlanTree(archive, tree, problems);
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
    return ExitStatus::kStopped;
  }
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
