#include <string>
#include <vector>

#include "mgarc/cli/commands.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/mount_tree.h"
#include "platform/archive_mount.h"
#include "platform/arguments.h"

namespace mgarc::cli {

ExitStatus RunMount(const MountOptions& options) {
  std::string reason;
  if (!ArchiveMountAvailable(reason)) {
    ReportProblem("mount", reason);
    return ExitStatus::kStopped;
  }
  MountSettings settings;
  std::vector<engine::Problem> problems;
  engine::MountTree tree;
  {
    engine::ArchiveView archive;
    if (!OpenArchive(options.archive, archive)) return ExitStatus::kStopped;
    problems = engine::PlanMountTree(archive, tree);
    settings.archive = PathFromUtf8(options.archive);
    settings.identity = archive.identity;
    settings.modified = archive.modified;
  }
  settings.mountPoint = PathFromUtf8(options.mountPoint);
  settings.foreground = options.foreground;
  // Reported once the mount stands, so that a failed start says one thing only.
  auto reportProblems = [&problems] {
    for (const engine::Problem& problem : problems) ReportProblem(problem.subject, problem.reason);
  };
  if (!ServeArchiveMount(tree, settings, reportProblems, reason)) {
    ReportProblem(options.mountPoint, reason);
    return ExitStatus::kStopped;
  }
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
