// diff, and how a patch is made. Both archives are hashed in one pass each,
// on a core each: the whole file, every entry, and the bytes outside the
// entries (archive_digests). Entries are paired by the path extract would
// write them to, so that a change of case or of '/' and '\' is no change
// (archive_changes). A patch is NEW described as pieces: ranges of OLD
// wherever an entry of OLD holds the same bytes whole, and bytes stored in
// the patch for the rest; it records OLD's and NEW's size and SHA-256, so that
// apply can tell the right archive from a wrong one, and a checksum over
// itself. It is written by the one writer, with the stored bytes copied from
// NEW by the system.
#include "mgarc/engine/diff.h"

#include <thread>

#include "mgarc/engine/archive_digests.h"
#include "mgarc/engine/archive_writer.h"
#include "mgarc/engine/block_reading.h"
#include "mgarc/engine/entry_names.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/file_stream.h"
#include "platform/sha256.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

namespace {

// The plan of the patch, with its checksum over the stored bytes as NEW
// holds them now; a problem about NEW when they cannot be read.
std::optional<Problem> PlanPatchFile(const PatchPlan& patch, const ArchiveView& after,
                                     WritePlan& plan) {
  const std::string tables = EncodePatchTables(patch.tables);
  const std::uint64_t storedOffset = patch.tables.storedOffset();
  plan.sources.push_back({PathFromUtf8(after.path), after.identity});
  plan.pieces.push_back(WritePiece::OfLiteral(0, tables));
  Sha256 checksum;
  checksum.Update(tables.data(), tables.size());
  std::size_t stored = 0;
  for (const PatchPiece& piece : patch.tables.pieces) {
    if (piece.kind != PieceKind::kStored) continue;
    const std::uint64_t from = patch.storedFrom[stored++];
    plan.pieces.push_back(WritePiece::OfRange(storedOffset + piece.source, piece.length, 0, from));
    const std::uint64_t read =
        ReadInBlocks(*after.file, from, piece.length, 1 << 20,
                     [&checksum](const unsigned char* bytes, std::size_t size) {
                       checksum.Update(bytes, size);
                       return true;
                     });
    if (read < piece.length) {
      return Problem{after.path, ShortReadReason(*after.file, "cannot be read: ", from + read)};
    }
  }
  Sha256Digest sum = checksum.Finish();
  plan.pieces.push_back(WritePiece::OfLiteral(storedOffset + patch.tables.header.storedSize,
                                              std::string(sum.begin(), sum.end())));
  return std::nullopt;
}

// Patches are written whole or not at all, and never over either archive.
void WritePatch(const DiffOptions& options, const ArchiveDigests& beforeDigests,
                const ArchiveDigests& afterDigests, Observer& observer, DiffResult& result) {
  FileIdentity existing;
  if (IdentifyPath(PathFromUtf8(options.patch), &existing) &&
      (existing == result.before.identity || existing == result.after.identity)) {
    result.refused =
        Problem{options.patch, "is one of the archives compared: the patch would replace it"};
    return;
  }
  WritePlan plan;
  const PatchPlan patch =
      PlanPatch(result.before, beforeDigests, result.after, afterDigests, result.difference);
  if ((result.refused = PlanPatchFile(patch, result.after, plan))) return;
  ItemReport report{[&result](std::size_t) { return result.after.path; }, {}, &observer};
  WriteResult written = WritePlanned(plan, options.patch, report, options.workers);
  result.refused = std::move(written.problem);
  result.stopped = written.stopped;
  const WritePiece& checksum = plan.pieces.back();
  if (!result.refused && !result.stopped) result.patchSize = checksum.at + checksum.size;
}

}  // namespace

DiffResult Diff(const DiffOptions& options, Observer& observer) {
  DiffResult result;
  if ((result.refused = LoadArchive(options.oldArchive, result.before)) ||
      (result.refused = LoadArchive(options.newArchive, result.after))) {
    return result;
  }
  // Each archive is hashed on a core of its own.
  ArchiveDigests beforeDigests;
  ArchiveDigests afterDigests;
  std::optional<Problem> beforeUnread;
  std::thread other([&] { beforeUnread = DigestArchive(result.before, beforeDigests); });
  std::optional<Problem> afterUnread = DigestArchive(result.after, afterDigests);
  other.join();
  if ((result.refused = beforeUnread ? beforeUnread : afterUnread)) return result;
  NameCodec codec;
  auto key = [decode = DecodeWith(codec)](const ArchiveEntry& entry) {
    return OutputPathKey(entry.stored(), kWindowsRules, decode, UppercaseText);
  };
  result.difference =
      CompareArchives(result.before, beforeDigests, result.after, afterDigests, key);
  if (!options.patch.empty()) WritePatch(options, beforeDigests, afterDigests, observer, result);
  return result;
}

}  // namespace mgarc::engine
