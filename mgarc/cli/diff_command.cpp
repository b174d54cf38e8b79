#include <array>
#include <nlohmann/json.hpp>

#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/diff.h"
#include "platform/console.h"

namespace mgarc::cli {
using namespace engine;

namespace {

nlohmann::ordered_json ChangeJson(const ArchiveChange& change) {
  static const char* const kNames[] = {"changed", "added",     "removed",
                                       "renamed", "reordered", "outside"};
  nlohmann::ordered_json object = {{"change", kNames[static_cast<int>(change.kind)]}};
  if (change.after != nullptr) object["name"] = change.after->shown();
  if (change.kind == ChangeKind::kRemoved) object["name"] = change.before->shown();
  if (change.kind == ChangeKind::kRenamed) object["old_name"] = change.before->shown();
  if (change.kind == ChangeKind::kChanged || change.kind == ChangeKind::kRemoved) {
    object["old_size"] = change.before->size;
  }
  if (change.kind == ChangeKind::kChanged || change.kind == ChangeKind::kAdded) {
    object["new_size"] = change.after->size;
  }
  return object;
}

std::string Summary(const ArchiveDifference& difference) {
  if (difference.identical) return "identical";
  const std::array<int, 4> counts = ChangeCounts(difference);
  return std::to_string(counts[0]) + " changed, " + std::to_string(counts[1]) + " added, " +
         std::to_string(counts[2]) + " removed, " + std::to_string(counts[3]) + " renamed";
}

// What a script or a person needs to know of the patch written.
std::string PatchLine(const DiffOptions& options, const DiffResult& result) {
  const std::array<int, 4> counts = ChangeCounts(result.difference);
  return "wrote " + options.patch + " (" + std::to_string(result.patchSize) +
         " bytes): " + std::to_string(counts[0]) + " changed, " + std::to_string(counts[1]) +
         " added, " + std::to_string(counts[2]) + " removed\n";
}

}  // namespace

ExitStatus RunDiff(const DiffOptions& options) {
  PrintingObserver observer(false, false);
  DiffResult result = engine::Diff(options, observer);
  observer.Finish();
  if (ReportRefusal(result.refused)) return ExitStatus::kStopped;
  if (result.stopped) return ExitStatus::kStopped;
  const ArchiveView& before = result.before;
  const ArchiveView& after = result.after;
  const ArchiveDifference& difference = result.difference;
  if (options.json) {
    nlohmann::ordered_json changes = nlohmann::ordered_json::array();
    for (const ArchiveChange& change : difference.changes) changes.push_back(ChangeJson(change));
    nlohmann::ordered_json document = {{"old", before.path},
                                       {"new", after.path},
                                       {"identical", difference.identical},
                                       {"changes", std::move(changes)}};
    if (!options.patch.empty()) {
      document["patch"] = {{"path", options.patch}, {"size", result.patchSize}};
    }
    WriteUtf8(
        TextStream::kOut,
        document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
  } else {
    std::string out;
    for (const ArchiveChange& change : difference.changes) out += ChangeLine(change) + "\n";
    out += before.path + " -> " + after.path + ": " + Summary(difference) + "\n";
    if (!options.patch.empty()) out += PatchLine(options, result);
    WriteUtf8(TextStream::kOut, out);
  }
  // A patch written is the work done: a script under set -e goes on. Without
  // -o, the status says whether they differ, as cmp's does.
  if (!options.patch.empty() || difference.identical) return ExitStatus::kDone;
  return ExitStatus::kIncomplete;
}

}  // namespace mgarc::cli
