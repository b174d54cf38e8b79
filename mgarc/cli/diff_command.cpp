#include <memory>
#include <nlohmann/json.hpp>
#include <thread>

#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/archive_changes.h"
#include "mgarc/engine/archive_digests.h"
#include "mgarc/engine/archive_writer.h"
#include "mgarc/engine/entry_names.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/text_conversion.h"

namespace mgarc::cli {
using namespace engine;

namespace {

// Patches are written whole or not at all, and never over either archive.
bool WritePatch(const std::string& patchPath, const ArchiveView& before,
                const ArchiveDigests& beforeDigests, const ArchiveView& after,
                const ArchiveDigests& afterDigests, unsigned workers) {
  const std::filesystem::path target = PathFromUtf8(patchPath);
  FileIdentity existing;
  if (IdentifyPath(target, &existing) &&
      (existing == before.identity || existing == after.identity)) {
    ReportProblem(patchPath, "is one of the archives compared: the patch would replace it");
    return false;
  }
  PatchPlan patch = PlanPatch(before, beforeDigests, after, afterDigests);
  const std::string tables = EncodePatchTables(patch.tables);
  const std::uint64_t storedOffset = patch.tables.storedOffset();

  WritePlan plan;
  plan.sources.push_back({PathFromUtf8(after.path), after.identity});
  plan.pieces.push_back(WritePiece::OfLiteral(0, tables));
  // The checksum covers the stored bytes as NEW holds them now.
  Sha256 checksum;
  checksum.Update(tables.data(), tables.size());
  constexpr std::size_t kChunk = 1 << 20;
  auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  std::size_t stored = 0;
  for (const PatchPiece& piece : patch.tables.pieces) {
    if (piece.kind != PieceKind::kStored) continue;
    const std::uint64_t from = patch.storedFrom[stored++];
    plan.pieces.push_back(WritePiece::OfRange(storedOffset + piece.source, piece.length, 0, from));
    for (std::uint64_t done = 0; done < piece.length;) {
      auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, piece.length - done));
      std::size_t got = after.file->ReadAt(from + done, buffer.get(), want);
      if (got < want) {
        ReportProblem(after.path,
                      ShortReadReason(*after.file, "cannot be read: ", from + done + got));
        return false;
      }
      checksum.Update(buffer.get(), got);
      done += got;
    }
  }
  Sha256Digest sum = checksum.Finish();
  plan.pieces.push_back(WritePiece::OfLiteral(storedOffset + patch.tables.header.storedSize,
                                              std::string(sum.begin(), sum.end())));
  PrintingObserver observer(false, false);
  ItemReport report{[&after](std::size_t) { return after.path; }, {}, &observer};
  WriteResult written = WritePlanned(plan, patchPath, report, workers);
  observer.Finish();
  if (written.problem) ReportProblem(written.problem->subject, written.problem->reason);
  return !written.problem && !written.stopped;
}

std::string Size(std::uint32_t size) {
  return std::to_string(size);
}

std::string ChangeLine(const ArchiveChange& change) {
  switch (change.kind) {
    case ChangeKind::kChanged:
      return "changed " + change.after->shown() + " (" + Size(change.before->size) + " -> " +
             Size(change.after->size) + ")";
    case ChangeKind::kAdded:
      return "added " + change.after->shown() + " (" + Size(change.after->size) + ")";
    case ChangeKind::kRemoved:
      return "removed " + change.before->shown() + " (" + Size(change.before->size) + ")";
    case ChangeKind::kRenamed:
      return "renamed " + change.before->shown() + " -> " + change.after->shown();
    case ChangeKind::kReordered:
      return "reordered: the entries are in another order";
    case ChangeKind::kOutside:
      return "outside: bytes outside the entries differ";
  }
  return {};
}

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
  int counts[4] = {};
  for (const ArchiveChange& change : difference.changes) {
    if (change.kind <= ChangeKind::kRenamed) ++counts[static_cast<int>(change.kind)];
  }
  return std::to_string(counts[0]) + " changed, " + std::to_string(counts[1]) + " added, " +
         std::to_string(counts[2]) + " removed, " + std::to_string(counts[3]) + " renamed";
}

}  // namespace

ExitStatus RunDiff(const DiffOptions& options) {
  ArchiveView before;
  ArchiveView after;
  if (!OpenArchive(options.oldArchive, before) || !OpenArchive(options.newArchive, after)) {
    return ExitStatus::kStopped;
  }
  // Each archive is hashed on a core of its own.
  ArchiveDigests beforeDigests;
  ArchiveDigests afterDigests;
  std::string beforeProblem;
  std::string afterProblem;
  std::thread other([&] { DigestArchive(before, beforeDigests, beforeProblem); });
  DigestArchive(after, afterDigests, afterProblem);
  other.join();
  if (!beforeProblem.empty() || !afterProblem.empty()) {
    const bool first = !beforeProblem.empty();
    ReportProblem(first ? before.path : after.path, first ? beforeProblem : afterProblem);
    return ExitStatus::kStopped;
  }
  NameCodec codec;
  auto key = [decode = DecodeWith(codec)](const ArchiveEntry& entry) {
    return OutputPathKey(entry.stored(), kWindowsRules, decode, UppercaseText);
  };
  ArchiveDifference difference = CompareArchives(before, beforeDigests, after, afterDigests, key);
  if (!options.patch.empty() &&
      !WritePatch(options.patch, before, beforeDigests, after, afterDigests, options.workers)) {
    return ExitStatus::kStopped;
  }
  if (options.json) {
    nlohmann::ordered_json changes = nlohmann::ordered_json::array();
    for (const ArchiveChange& change : difference.changes) changes.push_back(ChangeJson(change));
    nlohmann::ordered_json document = {{"old", before.path},
                                       {"new", after.path},
                                       {"identical", difference.identical},
                                       {"changes", std::move(changes)}};
    WriteUtf8(
        TextStream::kOut,
        document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
  } else {
    std::string out;
    for (const ArchiveChange& change : difference.changes) out += ChangeLine(change) + "\n";
    out += before.path + " -> " + after.path + ": " + Summary(difference) + "\n";
    WriteUtf8(TextStream::kOut, out);
  }
  return difference.identical ? ExitStatus::kDone : ExitStatus::kIncomplete;
}

}  // namespace mgarc::cli
