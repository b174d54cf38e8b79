#include <memory>
#include <thread>

#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/archive_changes.h"
#include "mgarc/engine/archive_digests.h"
#include "mgarc/engine/archive_writer.h"
#include "platform/arguments.h"
#include "platform/console.h"
#include "platform/text_conversion.h"

namespace mgarc::cli {
using namespace engine;

namespace {

constexpr std::size_t kChunk = 1 << 20;
// Pieces larger than this are copied by several workers.
constexpr std::uint64_t kPieceShare = 64 << 20;

// A patch read and checked: its tables, and its file for the stored data.
struct Patch {
  PatchTables tables;
  InputFile file;
  FileIdentity identity;
};

bool ReadAll(InputFile& file, std::uint64_t at, unsigned char* into, std::size_t size) {
  return file.ReadAt(at, into, size) == size;
}

// Checks everything about the patch that it can tell of itself: its layout,
// and its checksum over every byte.
bool ReadPatch(const std::string& path, Patch& patch, std::string& problem) {
  if (!patch.file.Open(PathFromUtf8(path))) {
    problem = SystemErrorUtf8(patch.file.error());
    return false;
  }
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  if (!patch.file.Describe(&size, &patch.identity, &modified)) {
    problem = SystemErrorUtf8(patch.file.error());
    return false;
  }
  unsigned char header[kPatchHeaderSize];
  if (size < kPatchHeaderSize + kPatchChecksumSize ||
      !ReadAll(patch.file, 0, header, sizeof header)) {
    problem = "not an mgarc patch";
    return false;
  }
  if (!DecodePatchHeader(header, patch.tables.header, problem)) return false;
  const PatchHeader& fields = patch.tables.header;
  const std::uint64_t tablesSize = std::uint64_t{kPatchEntrySize} * fields.oldEntryCount +
                                   std::uint64_t{kPatchPieceSize} * fields.pieceCount;
  if (tablesSize > size || fields.storedSize > size ||
      kPatchHeaderSize + tablesSize + fields.storedSize + kPatchChecksumSize != size) {
    problem = "damaged: cut short, or with bytes added";
    return false;
  }
  std::vector<unsigned char> tables(static_cast<std::size_t>(tablesSize));
  if (!ReadAll(patch.file, kPatchHeaderSize, tables.data(), tables.size()) ||
      !DecodePatchTables(tables.data(), patch.tables, problem)) {
    if (problem.empty()) problem = "cannot be read: " + SystemErrorUtf8(patch.file.error());
    return false;
  }
  Sha256 checksum;
  checksum.Update(header, sizeof header);
  checksum.Update(tables.data(), tables.size());
  auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  const std::uint64_t end = size - kPatchChecksumSize;
  for (std::uint64_t at = patch.tables.storedOffset(); at < end;) {
    auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, end - at));
    if (!ReadAll(patch.file, at, buffer.get(), want)) {
      problem = "cannot be read: " + SystemErrorUtf8(patch.file.error());
      return false;
    }
    checksum.Update(buffer.get(), want);
    at += want;
  }
  Sha256Digest stored{};
  if (!ReadAll(patch.file, end, stored.data(), stored.size()) || checksum.Finish() != stored) {
    problem = "damaged: its checksum does not match its bytes";
    return false;
  }
  return true;
}

// Why archive is not the patch's OLD: up to ten of its entries that differ,
// or what else does.
std::string WrongArchive(const ArchiveView& archive, const ArchiveDigests& digests,
                         const PatchTables& tables) {
  std::string reason = "not the archive this patch applies to";
  if (archive.fileSize != tables.header.oldSize) {
    reason += ": it has " + std::to_string(archive.fileSize) + " bytes, the patch expects " +
              std::to_string(tables.header.oldSize);
  }
  std::vector<const ArchiveEntry*> unlike = EntriesUnlikePatch(archive, digests, tables, 10);
  if (!unlike.empty()) {
    reason += "; entries that differ:";
    for (const ArchiveEntry* entry : unlike) {
      reason += " " + std::to_string(entry->index) + " (" + entry->shown() + ")";
    }
  } else if (archive.entries.size() != tables.entries.size()) {
    reason += "; it has " + std::to_string(archive.entries.size()) +
              " entries, the patch expects " + std::to_string(tables.entries.size());
  } else if (archive.fileSize == tables.header.oldSize) {
    reason += ": its header, directory or bytes outside the entries differ";
  }
  return reason;
}

// NEW's digest from the pieces, read from the archive and the patch as the
// writer copies them: what the patch makes, before it is put in place.
bool DigestOfPieces(const WritePlan& plan, Sha256Digest& digest, std::string& problem) {
  std::vector<InputFile> sources(plan.sources.size());
  for (std::size_t s = 0; s < sources.size(); ++s) {
    if (!sources[s].Open(plan.sources[s].path)) {
      problem = "cannot open: " + SystemErrorUtf8(sources[s].error());
      return false;
    }
  }
  Sha256 hash;
  auto buffer = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  for (const WritePiece& piece : plan.pieces) {
    for (std::uint64_t done = 0; done < piece.size;) {
      auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, piece.size - done));
      if (!ReadAll(sources[piece.source], piece.offset + done, buffer.get(), want)) {
        problem = "changed while the patch was applied";
        return false;
      }
      hash.Update(buffer.get(), want);
      done += want;
    }
  }
  digest = hash.Finish();
  return true;
}

}  // namespace

ExitStatus RunApply(const ApplyOptions& options) {
  Patch patch;
  std::string problem;
  if (!ReadPatch(options.patch, patch, problem)) {
    ReportProblem(options.patch, problem);
    return ExitStatus::kStopped;
  }
  ArchiveView archive;
  if (!OpenArchive(options.archive, archive)) return ExitStatus::kStopped;
  const PatchHeader& header = patch.tables.header;
  const std::string& target = options.output.empty() ? options.archive : options.output;

  // The archive's digests, on a core of their own while NEW is written.
  ArchiveDigests digests;
  std::string digestProblem;
  // Only a wrong archive needs its entries' digests, to name those that differ.
  auto digestArchive = [&] { DigestArchive(archive, digests, digestProblem, true); };
  auto wrongArchive = [&] {
    std::string unread;
    ArchiveDigests full;
    if (!DigestArchive(archive, full, unread)) return unread;
    return WrongArchive(archive, full, patch.tables);
  };
  if (archive.fileSize != header.oldSize) {
    digestArchive();
    if (!digestProblem.empty()) {
      ReportProblem(options.archive, digestProblem);
      return ExitStatus::kStopped;
    }
    if (archive.fileSize == header.newSize && digests.whole == header.newDigest) {
      WriteUtf8(TextStream::kOut, options.archive + ": already up to date\n");
      return ExitStatus::kDone;
    }
    ReportProblem(options.archive, wrongArchive());
    return ExitStatus::kStopped;
  }

  WritePlan plan;
  plan.sources.push_back({PathFromUtf8(archive.path), archive.identity});
  plan.sources.push_back({PathFromUtf8(options.patch), patch.identity});
  std::uint64_t at = 0;
  std::uint64_t fromPatch = 0;
  for (const PatchPiece& piece : patch.tables.pieces) {
    const bool old = piece.kind == PieceKind::kOld;
    const std::uint64_t offset = old ? piece.source : patch.tables.storedOffset() + piece.source;
    if (!old) fromPatch += piece.length;
    for (std::uint64_t done = 0; done < piece.length;) {
      std::uint64_t share = std::min(kPieceShare, piece.length - done);
      plan.pieces.push_back(WritePiece::OfRange(at + done, share, old ? 0u : 1u, offset + done));
      done += share;
    }
    at += piece.length;
  }
  std::thread digesting(digestArchive);
  auto check = [&]() -> std::optional<std::string> {
    Sha256Digest made{};
    std::string reason;
    bool madeOk = DigestOfPieces(plan, made, reason);
    digesting.join();
    if (!digestProblem.empty()) return digestProblem;
    if (digests.whole == header.newDigest) return "already up to date";
    if (digests.whole != header.oldDigest) return wrongArchive();
    // Windows puts no file in the place of one that is open.
    archive.file.reset();
    if (!madeOk) return reason;
    if (made != header.newDigest)
      return "not written: the patch makes other bytes than it promises";
    return std::nullopt;
  };
  PrintingObserver observer(false, true);
  ItemReport report{[&](std::size_t) { return target; }, {}, &observer};
  WriteResult written = WritePlanned(plan, target, report, options.workers, check);
  observer.Finish();
  if (digesting.joinable()) digesting.join();
  problem = written.problem ? written.problem->reason : "";
  if (problem == "already up to date") {
    WriteUtf8(TextStream::kOut, options.archive + ": already up to date\n");
    return ExitStatus::kDone;
  }
  if (written.problem) {
    ReportProblem(problem.rfind("not the archive", 0) == 0 ? options.archive : target, problem);
    return ExitStatus::kStopped;
  }
  if (written.stopped) return ExitStatus::kStopped;
  WriteUtf8(TextStream::kOut, target + ": patched, " + std::to_string(header.newSize) + " bytes, " +
                                  std::to_string(fromPatch) + " of them from the patch\n");
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
