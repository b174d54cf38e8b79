// The one writer of archives and patches. How it works:
// - A plan is a list of pieces at offsets fixed beforehand: bytes of a file,
//   a range of an existing file (an old archive, NEW for a patch), or literal
//   bytes (header, directory, tables). Because every offset is known, pieces
//   can be written in any order by any number of workers, and the result is
//   the same bytes for any -j.
// - The pieces are written into a new file beside the target, unnamed where
//   the system allows (FileReplacement), which takes the target's place only once everything
//   is written, checked and synced: a failure, a stop or a crash leaves the
//   target as it was and no file behind.
// - Workers take units of work from one counter: a large piece alone (moved
//   by the system, copy_file_range where it can), or a run of neighbouring
//   small files read into one buffer and written in one call, which is what
//   makes thousands of small files cheap.
// - A range can be coded: deflated from spans of NEW as a patch is written,
//   or inflated from one of a patch's chunks as it is applied, in 1 MiB at
//   most; a worker keeps the chunk it inflated last, since the pieces that
//   take its parts come one after another.
// - Each non-literal piece is one item of OrderedResults, reported in plan
//   order from the calling thread, which also asks the observer whether to
//   stop. The literals go last, so that a header is never written for data
//   that is not there.
#include "mgarc/engine/archive_writer.h"

#include <atomic>
#include <memory>

#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/block_reading.h"
#include "mgarc/engine/deflate.h"
#include "platform/arguments.h"
#include "platform/file_replacement.h"
#include "platform/file_transfer.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

namespace {

constexpr std::size_t kBufferSize = 128 * 1024;
// Files below this size are read into the buffer, several at a time, rather
// than copied by the system one by one.
constexpr std::uint64_t kSmallFile = 64 * 1024;

// Reads a small file of size bytes, asking for one byte more: more or fewer
// mean it changed since the walk. One read gives it whole; the rest is asked
// for only where the system gave less.
std::size_t ReadSmallFile(InputFile& source, char* buffer, std::size_t size) {
  std::size_t got = source.ReadOnceAt(0, buffer, size + 1);
  if (got == 0 || got >= size) return got;
  return got + source.ReadAt(got, buffer + got, size + 1 - got);
}

// Decodes a coded piece's spans into decoded.bytes, unless they are there
// already; the reason when they cannot be read or do not decode.
std::optional<std::string> Decode(const WritePiece& piece, InputFile& source,
                                  DecodedSpans& decoded) {
  if (decoded.source == piece.source && decoded.offset == piece.offset &&
      piece.coding == WritePiece::Coding::kInflate) {
    return std::nullopt;
  }
  decoded.source = static_cast<std::size_t>(-1);
  std::uint64_t total = 0;
  for (const WritePiece::Span& span : piece.spans) total += span.size;
  if (total > kMaxCodedSize || piece.decodedSize > kMaxCodedSize) {
    return "damaged: a coded piece larger than " + std::to_string(kMaxCodedSize) + " bytes";
  }
  decoded.read.resize(static_cast<std::size_t>(total));
  std::size_t at = 0;
  for (const WritePiece::Span& span : piece.spans) {
    const auto size = static_cast<std::size_t>(span.size);
    if (source.ReadAt(span.offset, decoded.read.data() + at, size) != size) {
      return ShortReadReason(source, "cannot read: ", span.offset);
    }
    at += size;
  }
  decoded.bytes.resize(static_cast<std::size_t>(piece.decodedSize));
  if (piece.coding == WritePiece::Coding::kInflate) {
    if (!Inflate(decoded.read.data(), decoded.read.size(), decoded.bytes.data(),
                 decoded.bytes.size())) {
      return "damaged: stored data that does not inflate to its size";
    }
  } else {
    // Deflating is repeatable: other bytes mean that the source changed.
    const std::string packed = Deflate(decoded.read.data(), decoded.read.size());
    if (packed.size() != decoded.bytes.size()) return "changed while it was read";
    std::copy(packed.begin(), packed.end(), decoded.bytes.begin());
  }
  decoded.source = piece.source;
  decoded.offset = piece.offset;
  return std::nullopt;
}

ItemResult CannotWrite(int error) {
  return {Outcome::kFailed, "cannot write the archive: " + SystemErrorUtf8(error)};
}

// What the workers of one plan share: each takes the next piece of work (a
// large piece, or neighbouring small files read into one buffer and written
// in one call) until none is left.
class PlanWriter {
 public:
  PlanWriter(const WritePlan& plan, FileReplacement& replacement, OrderedResults& results);
  // The number of items: the pieces that are not literals.
  std::size_t items() const { return items_.size(); }
  // The literal pieces, from the calling thread: the system's error code
  // when one cannot be written.
  std::optional<int> WriteLiterals();
  // One worker's share (run by RunWorkers).
  void Work();

 private:
  struct Source;
  ItemResult WriteFile(const WritePiece& piece, OutputFile& out, char* buffer);
  // decoded: a worker's last coded spans.
  ItemResult WriteRange(const WritePiece& piece, std::vector<Source>& sources, OutputFile& out,
                        char* buffer, DecodedSpans& decoded);
  void WriteSmallFiles(std::size_t first, std::size_t end, OutputFile& out, char* buffer);

  const WritePlan& plan_;
  FileReplacement& replacement_;
  OrderedResults& results_;
  std::vector<std::size_t> items_;  // the pieces that are items, in order
  std::vector<std::size_t> work_;   // where each unit of work starts in items_; then items_.size()
  std::atomic<std::size_t> next_{0};
};

// A worker's own handle on one source, opened when first needed.
struct PlanWriter::Source {
  InputFile file;
  bool opened = false;
  std::optional<std::string> problem;
};

PlanWriter::PlanWriter(const WritePlan& plan, FileReplacement& replacement, OrderedResults& results)
    : plan_(plan), replacement_(replacement), results_(results) {
  std::uint64_t runBytes = 0;
  for (std::size_t p = 0; p < plan.pieces.size(); ++p) {
    const WritePiece& piece = plan.pieces[p];
    if (piece.from == WritePiece::From::kLiteral) continue;
    // One byte past each small file is read too: room for it after the last.
    bool small = piece.from == WritePiece::From::kFile && piece.size < kSmallFile;
    bool joins = false;
    if (small && !items_.empty()) {
      const WritePiece& before = plan.pieces[items_.back()];
      joins = before.from == WritePiece::From::kFile && before.size < kSmallFile &&
              before.at + before.size == piece.at && runBytes + piece.size + 1 <= kBufferSize;
    }
    if (joins) {
      runBytes += piece.size;
    } else {
      work_.push_back(items_.size());
      runBytes = small ? piece.size : 0;
    }
    items_.push_back(p);
  }
  work_.push_back(items_.size());
}

std::optional<int> PlanWriter::WriteLiterals() {
  for (const WritePiece& piece : plan_.pieces) {
    if (piece.from != WritePiece::From::kLiteral) continue;
    if (!replacement_.file().WriteAt(piece.at, piece.literal.data(), piece.literal.size())) {
      return replacement_.file().error();
    }
  }
  return std::nullopt;
}

void PlanWriter::Work() {
  OutputFile out;
  bool opened = replacement_.OpenWriter(out);
  // Left unfilled: the system moves the bytes of large pieces, and untouched
  // pages cost no memory.
  auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
  std::vector<Source> sources(plan_.sources.size());
  DecodedSpans decoded;
  for (std::size_t w; !results_.Stopping() && (w = next_++) + 1 < work_.size();) {
    const std::size_t first = work_[w];
    const std::size_t end = work_[w + 1];
    const WritePiece& piece = plan_.pieces[items_[first]];
    if (!opened) {
      for (std::size_t i = first; i < end; ++i) results_.Publish(i, CannotWrite(out.error()));
    } else if (piece.from == WritePiece::From::kRange) {
      results_.Publish(first, WriteRange(piece, sources, out, buffer.get(), decoded));
    } else if (piece.size >= kSmallFile) {
      results_.Publish(first, WriteFile(piece, out, buffer.get()));
    } else {
      WriteSmallFiles(first, end, out, buffer.get());
    }
  }
}

ItemResult PlanWriter::WriteFile(const WritePiece& piece, OutputFile& out, char* buffer) {
  InputFile source;
  if (!source.Open(std::filesystem::path(*piece.file))) {
    return {Outcome::kFailed, "cannot open: " + SystemErrorUtf8(source.error())};
  }
  std::uint64_t size = 0;
  FileIdentity identity;
  std::int64_t modified = 0;
  if (!source.Describe(&size, &identity, &modified) || size != piece.size) {
    return {Outcome::kFailed, "changed size while the archive was made"};
  }
  std::uint64_t done = TransferRange(source, 0, size, out, piece.at, buffer, kBufferSize);
  results_.AddBytes(done);
  if (done < size && out.error() != 0) return CannotWrite(out.error());
  if (done < size && source.error() != 0) {
    return {Outcome::kFailed, "cannot read: " + SystemErrorUtf8(source.error())};
  }
  if (done < size || !source.Describe(&size, &identity, &modified) || size != piece.size) {
    return {Outcome::kFailed, "changed size while the archive was made"};
  }
  return {Outcome::kDone, {}};
}

ItemResult PlanWriter::WriteRange(const WritePiece& piece, std::vector<Source>& sources,
                                  OutputFile& out, char* buffer, DecodedSpans& decoded) {
  Source& source = sources[piece.source];
  const WriteSource& wanted = plan_.sources[piece.source];
  if (!source.opened) {
    source.opened = true;
    std::uint64_t size = 0;
    FileIdentity identity;
    std::int64_t modified = 0;
    if (!source.file.Open(wanted.path)) {
      source.problem = "cannot open: " + SystemErrorUtf8(source.file.error());
    } else if (!source.file.Describe(&size, &identity, &modified) ||
               !(identity == wanted.identity)) {
      source.problem = "was replaced while it was read";
    }
  }
  if (source.problem) return {Outcome::kFailed, *source.problem};
  if (piece.coding != WritePiece::Coding::kNone) {
    auto write = [&](const unsigned char* bytes, std::size_t size) {
      return out.WriteAt(piece.at, bytes, size);
    };
    if (auto reason = ReadRangePiece(piece, source.file, 0, piece.size, write, decoded)) {
      return out.error() != 0 ? CannotWrite(out.error()) : ItemResult{Outcome::kFailed, *reason};
    }
    results_.AddBytes(piece.size);
    return {Outcome::kDone, {}};
  }
  std::uint64_t done =
      TransferRange(source.file, piece.offset, piece.size, out, piece.at, buffer, kBufferSize);
  results_.AddBytes(done);
  if (done < piece.size && out.error() != 0) return CannotWrite(out.error());
  if (done < piece.size) {
    return {Outcome::kFailed, ShortReadReason(source.file, "cannot read: ", piece.offset + done)};
  }
  return {Outcome::kDone, {}};
}

void PlanWriter::WriteSmallFiles(std::size_t first, std::size_t end, OutputFile& out,
                                 char* buffer) {
  std::vector<ItemResult> read;
  std::size_t used = 0;
  for (std::size_t i = first; i < end; ++i) {
    const WritePiece& piece = plan_.pieces[items_[i]];
    // The walk found it a regular file and took its size.
    InputFile source;
    const auto size = static_cast<std::size_t>(piece.size);
    if (!source.OpenWalked(*piece.file)) {
      read.push_back({Outcome::kFailed, "cannot open: " + SystemErrorUtf8(source.error())});
    } else if (std::size_t got = ReadSmallFile(source, buffer + used, size);
               got < size && source.error() != 0) {
      read.push_back({Outcome::kFailed, "cannot read: " + SystemErrorUtf8(source.error())});
    } else if (got != size) {
      read.push_back({Outcome::kFailed, "changed size while the archive was made"});
    } else {
      read.push_back({Outcome::kDone, {}});
    }
    used += size;
  }
  bool written = out.WriteAt(plan_.pieces[items_[first]].at, buffer, used);
  for (std::size_t i = first; i < end; ++i) {
    ItemResult& result = read[i - first];
    if (!written && result.outcome == Outcome::kDone) result = CannotWrite(out.error());
    if (result.outcome == Outcome::kDone) results_.AddBytes(plan_.pieces[items_[i]].size);
    results_.Publish(i, std::move(result));
  }
}

}  // namespace

std::optional<std::string> ReadRangePiece(
    const WritePiece& piece, InputFile& source, std::uint64_t skip, std::uint64_t length,
    const std::function<bool(const unsigned char*, std::size_t)>& feed, DecodedSpans& decoded) {
  if (piece.coding == WritePiece::Coding::kNone) {
    const std::uint64_t from = piece.offset + skip;
    if (ReadInBlocks(source, from, length, kBufferSize, feed) < length) {
      return ShortReadReason(source, "cannot read: ", from);
    }
    return std::nullopt;
  }
  if (auto reason = Decode(piece, source, decoded)) return reason;
  const std::vector<unsigned char>& bytes = decoded.bytes;
  skip += piece.skip;
  if (skip > bytes.size() || length > bytes.size() - skip) {
    return "damaged: a piece past the end of its stored data";
  }
  if (!feed(bytes.data() + skip, static_cast<std::size_t>(length))) return "not written";
  return std::nullopt;
}

WriteResult WritePlanned(const WritePlan& plan, const std::string& target, const ItemReport& report,
                         unsigned workers,
                         const std::function<std::optional<std::string>()>& check) {
  WriteResult result;
  auto fail = [&](std::string reason) {
    result.problem = Problem{target, std::move(reason)};
    return result;
  };
  FileReplacement replacement;
  if (!replacement.Create(PathFromUtf8(target))) {
    return fail("cannot create a file beside it: " + SystemErrorUtf8(replacement.error()));
  }
  // Asked once before any work, so that a stop asked for at once writes nothing.
  if (report.observer->StopRequested()) {
    result.stopped = true;
    return result;
  }
  std::size_t items = 0;
  std::uint64_t bytes = 0;
  for (const WritePiece& piece : plan.pieces) {
    if (piece.from == WritePiece::From::kLiteral) continue;
    ++items;
    bytes += piece.size;
  }
  OrderedResults results(items, bytes);
  PlanWriter writer(plan, replacement, results);
  if (items > 0) {
    RunResult run = RunWorkers(
        workers, items, [&writer] { writer.Work(); }, results, report);
    if (run.stopped) {
      result.stopped = true;
      return result;
    }
    if (!run.noneFailed) return fail("not written");
  }
  if (std::optional<int> error = writer.WriteLiterals()) {
    return fail("not written: " + SystemErrorUtf8(*error));
  }
  if (check) {
    if (std::optional<std::string> reason = check()) return fail(std::move(*reason));
  }
  if (!replacement.Commit()) return fail("not written: " + SystemErrorUtf8(replacement.error()));
  return result;
}

}  // namespace mgarc::engine
