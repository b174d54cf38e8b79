#include <algorithm>
#include <memory>

#include "archive/archive_format.h"
#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/archive_writer.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/packing_list.h"
#include "mgarc/engine/tree_walk.h"
#include "mgarc/engine/update_plan.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/text_conversion.h"

namespace mgarc::cli {
using namespace engine;

namespace fs = std::filesystem;

namespace {

// The files of DIR as create names them; false when any cannot be packed
// (each reported).
bool ReadTree(const UpdateOptions& options, const ArchiveView& archive,
              std::vector<PackedFile>& files) {
  if (options.directory.empty()) return true;
  const fs::path root = PathFromUtf8(options.directory);
  std::error_code failure;
  if (!fs::is_directory(root, failure)) {
    ReportProblem(options.directory, failure ? failure.message() : "not a directory");
    return false;
  }
  TreeWalk walk = WalkTree(root, {archive.identity});
  if (!walk.failure.empty()) {
    ReportProblem(options.directory, "cannot be read: " + walk.failure);
    return false;
  }
  for (const PackingProblem& note : walk.notes) ReportProblem(note.subject, note.reason);
  NameCodec codec;
  NameConversion conversion{
      [&codec](const std::string& text, std::string& out) { return codec.Encode(text, out); },
      DecodeWith(codec), UppercaseText};
  std::vector<PackingProblem> problems = AssignStoredNames(walk.files, conversion);
  for (const PackingProblem& problem : problems) ReportProblem(problem.subject, problem.reason);
  if (!problems.empty()) return false;
  std::vector<std::string> unlisted;
  ArrangeFiles(walk.files, nullptr, unlisted);
  files = std::move(walk.files);
  return true;
}

// The new archive: the old header's magic and reserved bytes, the entries'
// data back to back in directory order, then the directory.
WritePlan LayOut(const ArchiveView& archive, const UpdatePlan& update) {
  WritePlan plan;
  plan.sources.push_back({PathFromUtf8(archive.path), archive.identity});
  std::uint64_t at = kFirstEntryOffset;
  std::string directory;
  for (const UpdatedEntry& entry : update.entries) {
    const std::uint64_t size = entry.file != nullptr ? entry.file->size : entry.old->size;
    if (entry.file != nullptr) {
      plan.pieces.push_back(WritePiece::OfFile(at, size, entry.file->path));
    } else {
      plan.pieces.push_back(WritePiece::OfRange(at, size, 0, entry.old->offset));
    }
    const std::string stored(entry.old != nullptr ? entry.old->stored()
                                                  : std::string_view(entry.file->stored));
    unsigned char record[kRecordSize];
    EncodeDirectoryRecord(stored.c_str(), static_cast<std::uint32_t>(size), record);
    directory.append(reinterpret_cast<const char*>(record), sizeof record);
    at += size;
  }
  std::string header(reinterpret_cast<const char*>(archive.header.data()), kFirstEntryOffset);
  unsigned char fields[kFirstEntryOffset];
  EncodeArchiveHeader(archive.magic.c_str(), static_cast<std::uint16_t>(update.entries.size()),
                      static_cast<std::uint32_t>(at), fields);
  // The count and the offset are new; the magic and the reserved bytes stay.
  std::copy(fields + 8, fields + 14, header.begin() + 8);
  plan.pieces.push_back(WritePiece::OfLiteral(0, header));
  plan.pieces.push_back(WritePiece::OfLiteral(at, directory));
  return plan;
}

// True when the file holds exactly the entry's bytes: then the entry is kept
// rather than replaced, and told as neither.
bool SameBytes(const PackedFile& file, const ArchiveView& archive, const ArchiveEntry& entry) {
  if (file.size != entry.size || !WhyNotKept(archive, entry).empty()) return false;
  InputFile source;
  if (!source.Open(file.path)) return false;
  constexpr std::size_t kChunk = 256 * 1024;
  auto mine = std::make_unique_for_overwrite<char[]>(kChunk);
  auto theirs = std::make_unique_for_overwrite<char[]>(kChunk);
  for (std::uint64_t done = 0; done < entry.size;) {
    auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, entry.size - done));
    if (source.ReadAt(done, mine.get(), want) != want ||
        archive.file->ReadAt(entry.offset + done, theirs.get(), want) != want ||
        !std::equal(mine.get(), mine.get() + want, theirs.get())) {
      return false;
    }
    done += want;
  }
  return true;
}

std::string Counted(std::size_t count, const char* what) {
  return std::to_string(count) + " " + what;
}

}  // namespace

ExitStatus RunUpdate(const UpdateOptions& options) {
  ArchiveView archive;
  if (!OpenArchive(options.archive, archive)) return ExitStatus::kStopped;
  std::vector<PackedFile> files;
  if (!ReadTree(options, archive, files)) {
    ReportProblem(options.archive, "not written");
    return ExitStatus::kStopped;
  }
  NameCodec codec;
  auto key = [decode = DecodeWith(codec)](std::string_view stored) {
    return OutputPathKey(stored, kWindowsRules, decode, UppercaseText);
  };
  UpdatePlan update = PlanUpdate(archive, files, options.deletions, key, UppercaseText);
  for (UpdatedEntry& entry : update.entries) {
    if (entry.old != nullptr && entry.file != nullptr &&
        SameBytes(*entry.file, archive, *entry.old)) {
      entry.file = nullptr;
      --update.replaced;
      ++update.kept;
    }
  }
  std::uint64_t bytes = 0;
  for (const UpdatedEntry& entry : update.entries) {
    bytes += entry.file != nullptr ? entry.file->size : entry.old->size;
  }
  std::string limit;
  if (!FitsTheContainer(update.entries.size(), bytes, limit)) {
    update.problems.push_back({options.archive, limit});
  }
  if (!update.problems.empty()) {
    for (const PackingProblem& problem : update.problems) {
      ReportProblem(problem.subject, problem.reason);
    }
    ReportProblem(options.archive, "not written");
    return ExitStatus::kStopped;
  }
  if (archive.entryDataEnd() < archive.directoryOffset && !options.quiet) {
    ReportProblem(options.archive,
                  "the " + std::to_string(archive.directoryOffset - archive.entryDataEnd()) +
                      " bytes between the data and the directory are left out");
  }
  if (archive.directoryEnd() < archive.fileSize && !options.quiet) {
    ReportProblem(options.archive, "the " +
                                       std::to_string(archive.fileSize - archive.directoryEnd()) +
                                       " bytes after the directory are left out");
  }

  std::string out;
  if (options.verbose) {
    for (const UpdatedEntry& entry : update.entries) {
      if (entry.file == nullptr) continue;
      out += (entry.old != nullptr ? "replaced " : "added ") + entry.file->relative + "\n";
    }
    for (const ArchiveEntry* entry : update.deleted) out += "deleted " + entry->shown() + "\n";
  }
  if (!options.quiet) {
    out += options.archive + ": " + Counted(update.replaced, "replaced") + ", " +
           Counted(update.added, "added") + ", " + Counted(update.deleted.size(), "deleted") +
           ", " + Counted(update.kept, "kept") + (options.dryRun ? " (dry run)" : "") + "\n";
  }
  if (options.dryRun) {
    WriteUtf8(TextStream::kOut, out);
    return ExitStatus::kDone;
  }

  WritePlan plan = LayOut(archive, update);
  // The writer reads through handles of its own; Windows puts no file in the
  // place of one that is open.
  archive.file.reset();
  std::string problem;
  auto name = [&update](std::size_t item) {
    const UpdatedEntry& entry = update.entries[item];
    return entry.file != nullptr ? entry.file->relative : entry.old->shown();
  };
  PrintingObserver observer(false, !options.quiet);
  bool written = WritePlanned(plan, PathFromUtf8(options.archive), {name, {}, &observer},
                              options.workers, {}, problem);
  observer.Finish();
  if (!written) {
    ReportProblem(options.archive, problem);
    return ExitStatus::kStopped;
  }
  WriteUtf8(TextStream::kOut, out);
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
