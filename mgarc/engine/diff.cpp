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
#include "mgarc/engine/deflate.h"
#include "mgarc/engine/entry_names.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/file_stream.h"
#include "platform/sha256.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

namespace {

// The spans of NEW that make the stored data's bytes [from, from + size),
// given the stored data as runs of NEW in order; run and used (bytes of
// runs[run] taken) move on.
std::vector<WritePiece::Span> SpansOf(const std::vector<WritePiece::Span>& runs, std::size_t& run,
                                      std::uint64_t& used, std::uint64_t size) {
  std::vector<WritePiece::Span> spans;
  while (size > 0) {
    const std::uint64_t take = std::min(size, runs[run].size - used);
    spans.push_back({runs[run].offset + used, take});
    size -= take;
    used += take;
    if (used == runs[run].size) ++run, used = 0;
  }
  return spans;
}

// The plan of the patch: its tables deflated, and NEW's bytes that it
// stores, in chunks, each deflated where that saves anything; with its
// checksum over the bytes as NEW holds them now. A problem about NEW when
// they cannot be read.
std::optional<Problem> PlanPatchFile(PatchPlan& patch, const ArchiveView& after, WritePlan& plan) {
  PatchTables& tables = patch.tables;
  tables.header.flags = kPatchDeflated;
  const std::string head = EncodePatchTables(tables);
  plan.sources.push_back({PathFromUtf8(after.path), after.identity});
  plan.pieces.push_back(WritePiece::OfLiteral(0, head));
  Sha256 checksum;
  checksum.Update(head.data(), head.size());
  std::vector<WritePiece::Span> runs;
  for (std::size_t p = 0, stored = 0; p < tables.pieces.size(); ++p) {
    if (tables.pieces[p].kind == PieceKind::kStored) {
      runs.push_back({patch.storedFrom[stored++], tables.pieces[p].length});
    }
  }
  std::vector<unsigned char> raw;
  std::uint64_t at = tables.storedOffset();
  std::size_t run = 0;
  std::uint64_t used = 0;
  for (std::uint64_t from = 0; from < tables.header.storedSize; from += kMaxCodedSize) {
    const std::uint64_t size = std::min(kMaxCodedSize, tables.header.storedSize - from);
    const std::vector<WritePiece::Span> spans = SpansOf(runs, run, used, size);
    raw.clear();
    for (const WritePiece::Span& span : spans) {
      const auto length = static_cast<std::size_t>(span.size);  // at most a chunk
      raw.resize(raw.size() + length);
      if (after.file->ReadAt(span.offset, raw.data() + raw.size() - length, length) != length) {
        return Problem{after.path, ShortReadReason(*after.file, "cannot be read: ", span.offset)};
      }
    }
    // The writer deflates the chunk again: the same bytes, not held meanwhile.
    const std::string packed =
        WorthDeflating(raw.data(), raw.size()) ? Deflate(raw.data(), raw.size()) : "";
    std::uint64_t chunk = size;
    if (!packed.empty() && packed.size() < size) {
      chunk = packed.size();
      checksum.Update(packed.data(), packed.size());
      plan.pieces.push_back(
          WritePiece::OfCoded(at, chunk, 0, spans, WritePiece::Coding::kDeflate, chunk));
    } else {
      checksum.Update(raw.data(), raw.size());
      std::uint64_t within = 0;
      for (const WritePiece::Span& span : spans) {
        plan.pieces.push_back(WritePiece::OfRange(at + within, span.size, 0, span.offset));
        within += span.size;
      }
    }
    tables.chunkPackedSizes.push_back(static_cast<std::uint32_t>(chunk));
    at += chunk;
  }
  const std::string sizes = EncodeChunkSizes(tables.chunkPackedSizes);
  checksum.Update(sizes.data(), sizes.size());
  plan.pieces.push_back(WritePiece::OfLiteral(at, sizes));
  Sha256Digest sum = checksum.Finish();
  plan.pieces.push_back(
      WritePiece::OfLiteral(at + sizes.size(), std::string(sum.begin(), sum.end())));
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
  PatchPlan patch =
      PlanPatch(result.before, beforeDigests, result.after, afterDigests, result.difference);
  // No patch that apply would refuse.
  if (patch.tables.pieces.size() > kMaxPatchPieces) {
    result.refused = Problem{options.patch, "not written: the archives differ in " +
                                                std::to_string(patch.tables.pieces.size()) +
                                                " places, more than a patch holds (" +
                                                std::to_string(kMaxPatchPieces) + ")"};
    return;
  }
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
