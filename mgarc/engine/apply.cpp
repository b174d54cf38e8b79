// apply, and how a patch is applied. The patch is checked first on its own:
// its layout, and its checksum over every byte, so that a damaged patch is
// refused before anything is read of the archive. The new archive is then
// written by the one writer from the patch's pieces: ranges of the archive
// and of the patch, copied by the system, large ones shared among workers.
// Meanwhile a thread of its own hashes what the pieces make, as the writer
// reads them: the new file takes the target's place only when that is the
// NEW the patch promises, which checks exactly the bytes it copies, once.
// Only when it is not is the archive hashed whole, to tell (as a PatchFit)
// whether it is NEW already or not OLD; a wrong archive names up to ten of
// its entries that differ.
#include "mgarc/engine/apply.h"

#include <algorithm>
#include <atomic>
#include <thread>
#include <vector>

#include "mgarc/engine/archive_changes.h"
#include "mgarc/engine/archive_digests.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/archive_writer.h"
#include "mgarc/engine/block_reading.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/patch_format.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/file_stream.h"
#include "platform/sha256.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;
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

// Whether the checksum at the patch's end is that of the bytes before it.
std::optional<std::string> CheckChecksum(Patch& patch, std::uint64_t size, Sha256& checksum) {
  const std::uint64_t start = patch.tables.storedOffset();
  const std::uint64_t end = size - kPatchChecksumSize;
  const std::uint64_t read = ReadInBlocks(patch.file, start, end - start, kBlockSize,
                                          [&checksum](const unsigned char* bytes, std::size_t n) {
                                            checksum.Update(bytes, n);
                                            return true;
                                          });
  if (read < end - start) return "cannot be read: " + SystemErrorUtf8(patch.file.error());
  Sha256Digest stored{};
  if (!ReadAll(patch.file, end, stored.data(), stored.size()) || checksum.Finish() != stored) {
    return "damaged: its checksum does not match its bytes";
  }
  return std::nullopt;
}

// Reads the tables of a patch of size bytes (after its header), as they are
// before deflating, and its chunks' packed sizes, checking that they make
// the whole file; the bytes read are added to checksum.
std::optional<std::string> ReadTables(Patch& patch, std::uint64_t size, Sha256& checksum) {
  PatchTables& tables = patch.tables;
  const std::string cut = "damaged: cut short, or with bytes added";
  std::vector<unsigned char> bytes;
  if (tables.deflated()) {
    unsigned char packedSize[8];
    if (size < kPatchHeaderSize + sizeof packedSize + kPatchChecksumSize ||
        !ReadAll(patch.file, kPatchHeaderSize, packedSize, sizeof packedSize)) {
      return cut;
    }
    tables.packedSize = DecodePackedSize(packedSize);
    if (tables.packedSize > size - kPatchHeaderSize - sizeof packedSize - kPatchChecksumSize) {
      return cut;
    }
    std::vector<unsigned char> packed(static_cast<std::size_t>(tables.packedSize));
    if (!ReadAll(patch.file, kPatchHeaderSize + sizeof packedSize, packed.data(), packed.size())) {
      return "cannot be read: " + SystemErrorUtf8(patch.file.error());
    }
    checksum.Update(packedSize, sizeof packedSize);
    checksum.Update(packed.data(), packed.size());
    if (auto reason = InflatePatchTables(packed.data(), tables, bytes)) return reason;
  } else {
    const std::uint64_t tablesSize = TablesSize(tables.header);
    const PatchHeader& fields = tables.header;
    if (tablesSize > size || fields.storedSize > size ||
        kPatchHeaderSize + tablesSize + fields.storedSize + kPatchChecksumSize != size) {
      return cut;
    }
    bytes.resize(static_cast<std::size_t>(tablesSize));
    if (!ReadAll(patch.file, kPatchHeaderSize, bytes.data(), bytes.size())) {
      return "cannot be read: " + SystemErrorUtf8(patch.file.error());
    }
    checksum.Update(bytes.data(), bytes.size());
  }
  if (auto reason = DecodePatchTables(bytes.data(), tables)) return reason;
  if (!tables.deflated()) return std::nullopt;
  // The chunks' sizes end the file, before the checksum: sizes that do not
  // add up to the file's are read from the wrong place.
  const std::uint64_t chunks = ChunkCount(tables.header.storedSize);
  if (chunks > (size - tables.storedOffset() - kPatchChecksumSize) / 4) return cut;
  std::vector<unsigned char> sizes(static_cast<std::size_t>(4 * chunks));
  if (!ReadAll(patch.file, size - kPatchChecksumSize - sizes.size(), sizes.data(), sizes.size())) {
    return "cannot be read: " + SystemErrorUtf8(patch.file.error());
  }
  if (!DecodeChunkSizes(sizes.data(), tables) || tables.patchSize() != size) return cut;
  return std::nullopt;
}

// Checks everything about the patch that it can tell of itself: its layout,
// and its checksum over every byte.
std::optional<std::string> ReadPatch(const std::string& path, Patch& patch) {
  std::uint64_t size = 0;
  std::int64_t modified = 0;
  if (!patch.file.Open(PathFromUtf8(path)) ||
      !patch.file.Describe(&size, &patch.identity, &modified)) {
    return SystemErrorUtf8(patch.file.error());
  }
  unsigned char header[kPatchHeaderSize];
  if (size >= kMagicSize && ReadAll(patch.file, 0, header, kMagicSize) &&
      IsArchiveMagic({reinterpret_cast<const char*>(header), kMagicSize})) {
    return "an archive, not a patch: the order is 'mgarc apply PATCH ARCHIVE'";
  }
  if (size < kPatchHeaderSize + kPatchChecksumSize ||
      !ReadAll(patch.file, 0, header, sizeof header)) {
    return "not an mgarc patch";
  }
  if (auto reason = DecodePatchHeader(header, patch.tables.header)) return reason;
  Sha256 checksum;
  checksum.Update(header, sizeof header);
  if (auto reason = ReadTables(patch, size, checksum)) return reason;
  return CheckChecksum(patch, size, checksum);
}

PatchFit FitOf(std::uint64_t size, const Sha256Digest& whole, const PatchHeader& header) {
  if (size == header.newSize && whole == header.newDigest) return PatchFit::kAlreadyApplied;
  if (size == header.oldSize && whole == header.oldDigest) return PatchFit::kApplies;
  return PatchFit::kWrongArchive;
}

// Why archive is not the patch's OLD: up to ten of its entries that differ,
// or what else does.
std::string WrongArchive(const ArchiveView& archive, const PatchTables& tables) {
  ArchiveDigests digests;
  if (std::optional<Problem> unread = DigestArchive(archive, digests)) return unread->reason;
  std::string reason = "not the archive this patch applies to";
  if (archive.fileSize != tables.header.oldSize) {
    reason += ": it has " + std::to_string(archive.fileSize) + " bytes, the patch expects " +
              std::to_string(tables.header.oldSize);
  }
  NameCodec codec;
  auto key = [decode = DecodeWith(codec)](std::string_view stored) {
    return OutputPathKey(stored, kWindowsRules, decode, UppercaseText);
  };
  auto shown = [&codec](std::string_view stored) {
    std::string text;
    if (!codec.Decode(stored, text)) return ShownName(stored, std::nullopt);
    return ShownName(stored, text);
  };
  const std::optional<std::vector<std::string>> differing =
      EntriesUnlikePatch(archive, digests, tables, key, shown);
  if (!differing) return reason + "; many entries differ";
  const std::vector<std::string>& unlike = *differing;
  constexpr std::size_t kNamed = 10;
  if (!unlike.empty()) {
    reason += "; entries that differ: ";
    for (std::size_t i = 0; i < unlike.size() && i < kNamed; ++i) {
      reason += (i > 0 ? ", " : "") + unlike[i];
    }
    if (unlike.size() > kNamed)
      reason += ", and " + std::to_string(unlike.size() - kNamed) + " more";
  } else if (archive.fileSize == tables.header.oldSize) {
    reason += ": its header, directory or bytes outside the entries differ";
  }
  return reason;
}

// NEW's digest from the pieces, read from the archive and the patch as the
// writer copies them: what the patch makes, before it is put in place. Ends
// early, with no digest, once abandon is set.
std::optional<std::string> DigestOfPieces(const WritePlan& plan, Sha256Digest& digest,
                                          const std::atomic<bool>& abandon) {
  std::vector<InputFile> sources(plan.sources.size());
  for (std::size_t s = 0; s < sources.size(); ++s) {
    if (!sources[s].Open(plan.sources[s].path)) {
      return "cannot open: " + SystemErrorUtf8(sources[s].error());
    }
  }
  Sha256 hash;
  auto feed = [&hash, &abandon](const unsigned char* bytes, std::size_t size) {
    hash.Update(bytes, size);
    return !abandon;
  };
  DecodedSpans decoded;
  for (const WritePiece& piece : plan.pieces) {
    if (std::optional<std::string> reason =
            ReadRangePiece(piece, sources[piece.source], 0, piece.size, feed, decoded)) {
      // The patch was checked whole: what reads otherwise now has changed.
      return piece.coding == WritePiece::Coding::kNone ? "changed while the patch was applied"
                                                       : *reason;
    }
  }
  digest = hash.Finish();
  return std::nullopt;
}

// Whether the archive (source 0) already holds each piece where the plan
// puts it, so that it is NEW already: only the pieces that are not its own
// bytes in their own place are read.
bool HoldsPieces(const WritePlan& plan) {
  std::vector<InputFile> sources(plan.sources.size());
  for (std::size_t s = 0; s < sources.size(); ++s) {
    if (!sources[s].Open(plan.sources[s].path)) return false;
  }
  InputFile& archive = sources[0];
  DecodedSpans decoded;
  std::vector<unsigned char> held;
  for (const WritePiece& piece : plan.pieces) {
    if (piece.source == 0 && piece.coding == WritePiece::Coding::kNone &&
        piece.offset == piece.at) {
      continue;
    }
    std::uint64_t at = piece.at;
    auto same = [&](const unsigned char* bytes, std::size_t size) {
      held.resize(size);
      const bool equal =
          ReadAll(archive, at, held.data(), size) && std::equal(held.begin(), held.end(), bytes);
      at += size;
      return equal;
    };
    if (ReadRangePiece(piece, sources[piece.source], 0, piece.size, same, decoded)) return false;
  }
  return true;
}

// NEW as ranges of the archive (source 0) and of the patch (source 1).
WritePlan PlanNew(const ApplyOptions& options, const Patch& patch, const ArchiveView& archive,
                  std::uint64_t& fromPatch) {
  WritePlan plan;
  plan.sources.push_back({PathFromUtf8(archive.path), archive.identity});
  plan.sources.push_back({PathFromUtf8(options.patch), patch.identity});
  std::uint64_t at = 0;
  const std::vector<StoredChunk> chunks = patch.tables.Chunks();
  auto chunk = chunks.begin();
  for (const PatchPiece& piece : patch.tables.pieces) {
    const bool old = piece.kind == PieceKind::kOld;
    if (!old && patch.tables.deflated()) {
      // The parts of the chunks that hold the piece, which takes the stored
      // data in order.
      fromPatch += piece.length;
      for (std::uint64_t done = 0; done < piece.length;) {
        while (chunk->from + chunk->size <= piece.source + done) ++chunk;
        const std::uint64_t skip = piece.source + done - chunk->from;
        const std::uint64_t take = std::min(piece.length - done, chunk->size - skip);
        plan.pieces.push_back(
            chunk->deflated()
                ? WritePiece::OfCoded(at + done, take, 1, {{chunk->at, chunk->packed}},
                                      WritePiece::Coding::kInflate, chunk->size, skip)
                : WritePiece::OfRange(at + done, take, 1, chunk->at + skip));
        done += take;
      }
      at += piece.length;
      continue;
    }
    const std::uint64_t offset = old ? piece.source : patch.tables.storedOffset() + piece.source;
    if (!old) fromPatch += piece.length;
    for (std::uint64_t done = 0; done < piece.length;) {
      std::uint64_t share = std::min(kPieceShare, piece.length - done);
      plan.pieces.push_back(WritePiece::OfRange(at + done, share, old ? 0u : 1u, offset + done));
      done += share;
    }
    at += piece.length;
  }
  return plan;
}

// Reads length bytes of NEW from position at, through the plan's ranges.
bool ReadNew(const WritePlan& plan, std::vector<InputFile>& sources, std::uint64_t at,
             unsigned char* out, std::size_t length) {
  DecodedSpans decoded;
  auto piece = std::upper_bound(plan.pieces.begin(), plan.pieces.end(), at,
                                [](std::uint64_t a, const WritePiece& p) { return a < p.at; });
  if (piece == plan.pieces.begin()) return false;
  for (--piece; length > 0 && piece != plan.pieces.end(); ++piece) {
    const std::uint64_t skip = at - piece->at;
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(length, piece->size - skip));
    auto copy = [&out](const unsigned char* bytes, std::size_t size) {
      out = std::copy(bytes, bytes + size, out);
      return true;
    };
    if (ReadRangePiece(*piece, sources[piece->source], skip, take, copy, decoded)) return false;
    at += take;
    length -= take;
  }
  return length == 0;
}

// Where each of NEW's entries ends, read from NEW's header and directory as
// the plan makes them; empty when they cannot be read or make no sense.
std::vector<std::uint64_t> NewEntryEnds(const WritePlan& plan, std::uint64_t newSize) {
  std::vector<InputFile> sources(plan.sources.size());
  for (std::size_t s = 0; s < sources.size(); ++s) {
    if (!sources[s].Open(plan.sources[s].path)) return {};
  }
  unsigned char header[kHeaderSize];
  if (newSize < kFirstEntryOffset || !ReadNew(plan, sources, 0, header, kHeaderSize)) return {};
  const ArchiveHeader fields = DecodeArchiveHeader(header);
  std::vector<unsigned char> records(std::size_t{kRecordSize} * fields.entryCount);
  if (std::uint64_t{fields.directoryOffset} + records.size() > newSize ||
      !ReadNew(plan, sources, fields.directoryOffset, records.data(), records.size())) {
    return {};
  }
  std::vector<std::uint64_t> ends;
  std::uint64_t end = kFirstEntryOffset;
  for (std::size_t i = 0; i < fields.entryCount; ++i) {
    end += DecodeDirectoryRecord(&records[kRecordSize * i], 0).entry.size;
    ends.push_back(end);
  }
  return ends;
}

// Tells the progress of writing NEW in NEW's entries, not in the patch's
// pieces: a person counts entries.
class EntryProgress : public Observer {
 public:
  EntryProgress(Observer& observer, const WritePlan& plan, std::vector<std::uint64_t> entryEnds)
      : observer_(observer), plan_(plan), entryEnds_(std::move(entryEnds)) {}
  void Progressed(const Progress& progress) override {
    if (entryEnds_.empty()) return observer_.Progressed(progress);
    const auto done = static_cast<std::size_t>(progress.itemsDone);
    const std::uint64_t written =
        done == 0 ? 0 : plan_.pieces[done - 1].at + plan_.pieces[done - 1].size;
    const std::uint64_t entries =
        progress.itemsDone == progress.items
            ? entryEnds_.size()
            : static_cast<std::uint64_t>(
                  std::upper_bound(entryEnds_.begin(), entryEnds_.end(), written) -
                  entryEnds_.begin());
    observer_.Progressed({entries, entryEnds_.size(), progress.bytesDone, progress.bytes});
  }
  void ProblemFound(const Problem& problem) override { observer_.ProblemFound(problem); }
  void ItemDone(const std::string& line) override { observer_.ItemDone(line); }
  bool StopRequested() override { return observer_.StopRequested(); }

 private:
  Observer& observer_;
  const WritePlan& plan_;
  const std::vector<std::uint64_t> entryEnds_;
};

// Writes NEW while what its pieces make is hashed: when that is NEW, it is
// put in the target's place; when not, the archive's own digest tells why.
void WriteNew(const ApplyOptions& options, const Patch& patch, ArchiveView& archive,
              Observer& observer, ApplyResult& result) {
  const PatchHeader& header = patch.tables.header;
  const WritePlan plan = PlanNew(options, patch, archive, result.fromPatch);
  // Hashed on a core of its own while the system copies the pieces.
  Sha256Digest made{};
  std::optional<std::string> notMade;
  std::atomic<bool> abandon{false};
  std::thread making([&] { notMade = DigestOfPieces(plan, made, abandon); });
  auto check = [&]() -> std::optional<std::string> {
    making.join();
    if (!notMade && made == header.newDigest) {
      // OLD and NEW of one size: the archive may be NEW already.
      if (archive.fileSize == header.newSize && HoldsPieces(plan)) {
        result.fit = PatchFit::kAlreadyApplied;
        return "already applied";
      }
      // Windows puts no file in the place of one that is open.
      archive.file.reset();
      return std::nullopt;
    }
    ArchiveDigests digests;
    if (std::optional<Problem> unread = DigestArchive(archive, digests, true)) {
      return unread->reason;
    }
    result.fit = FitOf(archive.fileSize, digests.whole, header);
    if (result.fit == PatchFit::kAlreadyApplied) return "already applied";
    if (result.fit == PatchFit::kWrongArchive) return WrongArchive(archive, patch.tables);
    if (notMade) return notMade;
    return "not written: the patch makes other bytes than it promises";
  };
  EntryProgress progress(observer, plan, NewEntryEnds(plan, header.newSize));
  ItemReport report{[&result](std::size_t) { return result.target; }, {}, &progress};
  WriteResult written = WritePlanned(plan, result.target, report, options.workers, check);
  // Stopped, or failed before the check: the digest is of no use.
  abandon = true;
  if (making.joinable()) making.join();
  result.stopped = written.stopped;
  if (result.fit == PatchFit::kAlreadyApplied || !written.problem) return;
  result.refused = std::move(written.problem);
  if (result.fit == PatchFit::kWrongArchive) result.refused->subject = options.archive;
}

}  // namespace

ApplyResult Apply(const ApplyOptions& options, Observer& observer) {
  ApplyResult result;
  result.target = options.output.empty() ? options.archive : options.output;
  Patch patch;
  if (std::optional<std::string> reason = ReadPatch(options.patch, patch)) {
    result.refused = Problem{options.patch, std::move(*reason)};
    return result;
  }
  ArchiveView archive;
  if ((result.refused = LoadArchive(options.archive, archive))) return result;
  const PatchHeader& header = patch.tables.header;
  result.newSize = header.newSize;
  if (archive.fileSize == header.oldSize) {
    WriteNew(options, patch, archive, observer, result);
    return result;
  }
  // Not OLD's size: decided from the archive alone, nothing written.
  ArchiveDigests digests;
  if ((result.refused = DigestArchive(archive, digests, true))) return result;
  result.fit = FitOf(archive.fileSize, digests.whole, header);
  if (result.fit == PatchFit::kWrongArchive) {
    result.refused = Problem{options.archive, WrongArchive(archive, patch.tables)};
  }
  return result;
}

}  // namespace mgarc::engine
