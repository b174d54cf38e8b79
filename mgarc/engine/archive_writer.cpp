#include "mgarc/engine/archive_writer.h"

#include <memory>

#include "mgarc/engine/archive_view.h"
#include "platform/file_transfer.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
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

ItemResult CannotWrite(int error) {
  return {Outcome::kFailed, "cannot write the archive: " + SystemErrorUtf8(error)};
}

}  // namespace

// A worker's own handle on one source, opened when first needed.
struct PlanWriter::Source {
  InputFile file;
  bool opened = false;
  std::string problem;
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

bool PlanWriter::WriteLiterals() {
  for (const WritePiece& piece : plan_.pieces) {
    if (piece.from != WritePiece::From::kLiteral) continue;
    if (!replacement_.file().WriteAt(piece.at, piece.literal.data(), piece.literal.size())) {
      error_ = replacement_.file().error();
      return false;
    }
  }
  return true;
}

void PlanWriter::Work() {
  OutputFile out;
  bool opened = replacement_.OpenWriter(out);
  // Left unfilled: the system moves the bytes of large pieces, and untouched
  // pages cost no memory.
  auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
  std::vector<Source> sources(plan_.sources.size());
  for (std::size_t w; !results_.Stopping() && (w = next_++) + 1 < work_.size();) {
    const std::size_t first = work_[w];
    const std::size_t end = work_[w + 1];
    const WritePiece& piece = plan_.pieces[items_[first]];
    if (!opened) {
      for (std::size_t i = first; i < end; ++i) results_.Publish(i, CannotWrite(out.error()));
    } else if (piece.from == WritePiece::From::kRange) {
      results_.Publish(first, WriteRange(piece, sources, out, buffer.get()));
    } else if (piece.size >= kSmallFile) {
      results_.Publish(first, WriteFile(piece, out, buffer.get()));
    } else {
      WriteSmallFiles(first, end, out, buffer.get());
    }
  }
}

ItemResult PlanWriter::WriteFile(const WritePiece& piece, OutputFile& out, char* buffer) {
  InputFile source;
  if (!source.Open(piece.file)) {
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
                                  OutputFile& out, char* buffer) {
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
  if (!source.problem.empty()) return {Outcome::kFailed, source.problem};
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
    if (!source.OpenWalked(piece.file)) {
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

bool WritePlanned(const WritePlan& plan, const std::filesystem::path& target,
                  const ItemReport& report, unsigned workers,
                  const std::function<bool(std::string& problem)>& check, std::string& problem,
                  bool* stopped) {
  FileReplacement replacement;
  if (!replacement.Create(target)) {
    problem = "cannot create a file beside it: " + SystemErrorUtf8(replacement.error());
    return false;
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
      if (stopped != nullptr) *stopped = true;
      problem = "stopped";
      return false;
    }
    if (!run.noneFailed) {
      problem = "not written";
      return false;
    }
  }
  if (!writer.WriteLiterals()) {
    problem = "not written: " + SystemErrorUtf8(writer.error());
    return false;
  }
  if (check && !check(problem)) return false;
  if (!replacement.Commit()) {
    problem = "not written: " + SystemErrorUtf8(replacement.error());
    return false;
  }
  return true;
}

}  // namespace mgarc::engine
