#include <string>

#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/update.h"
#include "platform/console.h"

namespace mgarc::cli {

namespace {

std::string Count(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what;
}

// What update says on standard output: with -v each entry changed, then,
// unless -q, the counts.
std::string Summary(const UpdateOptions& options, const engine::PreparedUpdate& update) {
  const engine::UpdatePlan& plan = update.plan;
  std::string out;
  if (options.verbose) {
    for (const engine::UpdatedEntry& entry : plan.entries) {
      if (entry.file == nullptr) continue;
      out += (entry.old != nullptr ? "replaced " : "added ") + entry.file->relative + "\n";
    }
    for (const engine::ArchiveEntry* entry : plan.deleted)
      out += "deleted " + entry->shown() + "\n";
  }
  if (!options.quiet && update.upToDate()) {
    out += options.archive + ": up to date (" + Count(plan.kept, "kept") + ")" +
           (options.dryRun ? " (dry run)" : "") + "\n";
  } else if (!options.quiet) {
    out += options.archive + ": " + PlanCounts(plan) + (options.dryRun ? " (dry run)" : "") + "\n";
  }
  return out;
}

}  // namespace

ExitStatus RunUpdate(const UpdateOptions& options) {
  PrintingObserver observer(false, !options.quiet);
  engine::PreparedUpdate update = engine::PrepareUpdate(options, observer);
  observer.Finish();
  if (ReportRefusal(update.refused)) return ExitStatus::kStopped;
  if (!options.quiet) {
    for (const engine::Problem& note : update.leftOut) ReportProblem(note.subject, note.reason);
  }
  const std::string out = Summary(options, update);
  if (!options.dryRun) {
    engine::UpdateResult result = engine::Update(update, options.workers, observer);
    observer.Finish();
    if (ReportRefusal(result.refused)) return ExitStatus::kStopped;
    if (result.stopped) return ExitStatus::kStopped;
  }
  WriteUtf8(TextStream::kOut, out);
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
