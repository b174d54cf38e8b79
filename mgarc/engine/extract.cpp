// Extraction: opens the archive, selects entries by pattern, plans where
// each goes (extraction_plan.h), then workers write the planned files while
// this thread reports the results in directory order.
//
// Stopping: workers look at OrderedResults::Stopping() between entries and
// between chunks of a large one; an entry given up is removed, so that every
// file left is whole. Entries no worker took are simply never written.
#include "mgarc/engine/extract.h"

#include <atomic>
#include <memory>
#include <unordered_map>

#include "archive/path_rules.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/block_reading.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/extraction_plan.h"
#include "mgarc/engine/ordered_results.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/file_stream.h"
#include "platform/file_transfer.h"
#include "platform/output_directory.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {
namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
// A large entry is moved in pieces of this size, with a look for a stop between them.
constexpr std::uint64_t kChunk = 64 * 1024 * 1024;
// Entries below this size are read from the archive several at a time, one
// read for a run of neighbours, and each written from the buffer in one call.
constexpr std::uint64_t kSmallEntry = 64 * 1024;

// The archive's bytes the buffer holds: [start, end).
struct HeldBytes {
  std::uint64_t start = 0;
  std::uint64_t end = 0;
  bool Holds(const ArchiveEntry& entry) const {
    return entry.offset >= start && entry.offset + entry.present <= end;
  }
};

// The directory an archive extracts into by default (DefaultDirectoryName).
std::string DefaultDirectory(const std::string& archive) {
  std::u8string name = PathFromUtf8(archive).filename().u8string();
  return DefaultDirectoryName(std::string(name.begin(), name.end()));
}

// Why extraction does not write an entry of this fate: a refusal is "skipped".
std::string NotWrittenProblem(EntryFate fate) {
  bool refused = fate == EntryFate::kLeaves || fate == EntryFate::kReserved;
  return (refused ? "skipped: " : "not written: ") + FateReason(fate, "output directory");
}

// What the workers share: each takes the next work item until none is left.
class Extraction {
 public:
  Extraction(const ArchiveView& archive, const ExtractionPlan& plan, const OutputDirectory& root,
             ExistingFiles existing, OrderedResults& results)
      : archive_(archive), plan_(plan), root_(root), existing_(existing), results_(results) {}

  void Work() {
    // Left unfilled: the system moves most bytes, and untouched pages cost no memory.
    auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    InputFile source;
    std::string problem = OpenSource(source);
    for (std::size_t k; !results_.Stopping() && (k = nextItem_++) < plan_.work.size();) {
      const WorkItem& item = plan_.work[k];
      if (!problem.empty()) {
        for (std::size_t i : item.entries) results_.Publish(i, {Outcome::kFailed, problem});
        continue;
      }
      WriteItem(item, source, buffer.get());
    }
  }

 private:
  // Each worker reads through a handle of its own, on the very file whose
  // directory was read: one put in its place since then is refused.
  std::string OpenSource(InputFile& source) {
    std::optional<std::string> problem = ReopenArchive(archive_, source);
    if (!problem) return {};
    return problem->rfind("cannot", 0) == 0 ? *problem : "not written: " + *problem;
  }

  void WriteItem(const WorkItem& item, InputFile& source, char* buffer) {
    const std::vector<std::string_view> levels =
        plan_.directories.Levels(plan_.entries[item.entries.front()].directory);
    const OutputDirectory* at = &root_;
    OutputDirectory opened;
    std::string problem;
    for (std::size_t l = 0; l < levels.size() && problem.empty(); ++l) {
      OutputDirectory next;
      switch (at->OpenLevel(std::string(levels[l]), next)) {
        case PlaceOutcome::kOk:
          opened = std::move(next);
          at = &opened;
          break;
        case PlaceOutcome::kNotOneLevel:
          problem = NotWrittenProblem(EntryFate::kLeaves);
          break;
        case PlaceOutcome::kThroughLink:
          problem = "skipped: the path goes through a symbolic link";
          break;
        case PlaceOutcome::kNotADirectory:
          problem = "not written: a file stands where the path needs a directory";
          break;
        default:
          problem = "cannot create a directory: " + SystemErrorUtf8(at->error());
          break;
      }
    }
    HeldBytes held;
    for (std::size_t k = 0; k < item.entries.size(); ++k) {
      const std::size_t i = item.entries[k];
      ItemResult result{Outcome::kFailed, problem};
      if (results_.Stopping()) {
        result = {Outcome::kStopped, {}};
      } else if (problem.empty()) {
        const ArchiveEntry& entry = *plan_.entries[i].entry;
        if (entry.present < kSmallEntry && !held.Holds(entry)) {
          held = ReadRun(item, k, source, buffer);
        }
        result = WriteEntry(*at, i, source, buffer, held);
      }
      results_.Publish(i, std::move(result));
    }
  }

  // Reads the small entry item.entries[k] and the small ones after it that
  // follow it in the archive, as many as the buffer holds, in one read.
  HeldBytes ReadRun(const WorkItem& item, std::size_t k, InputFile& source, char* buffer) {
    const ArchiveEntry& first = *plan_.entries[item.entries[k]].entry;
    std::uint64_t end = first.offset + first.present;
    for (std::size_t n = k + 1; n < item.entries.size(); ++n) {
      const ArchiveEntry& next = *plan_.entries[item.entries[n]].entry;
      if (next.offset != end || next.present >= kSmallEntry ||
          end + next.present - first.offset > kBufferSize) {
        break;
      }
      end += next.present;
    }
    const auto length = static_cast<std::size_t>(end - first.offset);
    // A short read holds less: the entries past it are read again, one by one.
    return {first.offset, first.offset + source.ReadAt(first.offset, buffer, length)};
  }

  ItemResult WriteEntry(const OutputDirectory& directory, std::size_t planned, InputFile& source,
                        char* buffer, HeldBytes& held) {
    const ArchiveEntry& entry = *plan_.entries[planned].entry;
    const std::string name(plan_.FileName(planned));
    OutputFile file;
    switch (directory.CreateEntryFile(name, existing_ == ExistingFiles::kReplace, archive_.identity,
                                      file)) {
      case PlaceOutcome::kOk:
        break;
      case PlaceOutcome::kExists:
        if (existing_ == ExistingFiles::kKeep) return {Outcome::kSilent, {}};
        return CompareExisting(directory, name, entry, source);
      case PlaceOutcome::kNotOneLevel:
        return {Outcome::kFailed, NotWrittenProblem(EntryFate::kLeaves)};
      case PlaceOutcome::kIsArchive:
        return {Outcome::kFailed, "not written: this is the archive itself"};
      case PlaceOutcome::kIsDirectory:
        return {Outcome::kFailed, "not written: a directory has this name"};
      default:
        return {Outcome::kFailed, "cannot create the file: " + SystemErrorUtf8(directory.error())};
    }
    const std::uint64_t length = entry.present;
    std::uint64_t done = 0;
    if (held.Holds(entry) && length > 0) {
      if (file.WriteAt(0, buffer + (entry.offset - held.start), static_cast<std::size_t>(length))) {
        done = length;
        results_.AddBytes(length);
      }
    } else {
      held = {};  // the buffer carries what this entry moves
    }
    while (done < length && file.error() == 0) {
      if (results_.Stopping()) {
        file.Close();
        directory.RemoveEntryFile(name);
        return {Outcome::kStopped, {}};
      }
      std::uint64_t piece = std::min(length - done, kChunk);
      std::uint64_t moved =
          TransferRange(source, entry.offset + done, piece, file, done, buffer, kBufferSize);
      done += moved;
      results_.AddBytes(moved);
      if (moved < piece) break;
    }
    if (done < length && file.error() != 0) {
      return {Outcome::kFailed, "write failed: " + SystemErrorUtf8(file.error())};
    }
    if (done < length) {
      return {Outcome::kFailed, ShortReadReason(source, "read failed: ", entry.offset + done)};
    }
    if (!file.Close()) return {Outcome::kFailed, "write failed: " + SystemErrorUtf8(file.error())};
    if (std::optional<Problem> cut = CutShortProblem(entry)) return {Outcome::kFailed, cut->reason};
    return {Outcome::kDone, {}};
  }

  // A file already where the entry goes: as good as written when it holds the
  // entry's bytes; kept, and said so, when it does not (someone may have edited it).
  ItemResult CompareExisting(const OutputDirectory& directory, const std::string& name,
                             const ArchiveEntry& entry, InputFile& source) {
    InputFile existing;
    std::uint64_t size = 0;
    FileIdentity identity;
    std::int64_t modified = 0;
    bool same = directory.OpenEntryFile(name, existing) &&
                existing.Describe(&size, &identity, &modified) && size == entry.present;
    for (std::uint64_t done = 0; same && done < size;) {
      if (results_.Stopping()) return {Outcome::kStopped, {}};
      std::uint64_t piece = std::min(size - done, kChunk);
      same = SameBytes(source, entry.offset + done, existing, done, piece);
      done += piece;
      results_.AddBytes(piece);
    }
    if (!same) return {Outcome::kKept, "it differs from the archive (--overwrite replaces it)"};
    if (std::optional<Problem> cut = CutShortProblem(entry)) return {Outcome::kFailed, cut->reason};
    return {Outcome::kDone, {}};
  }

  const ArchiveView& archive_;
  const ExtractionPlan& plan_;
  const OutputDirectory& root_;
  const ExistingFiles existing_;
  OrderedResults& results_;
  std::atomic<std::size_t> nextItem_{0};
};

// The patterns' and names' selection of the archive's entries; a pattern that matches none is a
// problem.
std::vector<bool> SelectEntries(const ArchiveView& archive, const ExtractOptions& options,
                                Observer& observer, bool& allMatched) {
  const std::vector<std::string>& patterns = options.patterns;
  std::vector<bool> selected(archive.entries.size(), patterns.empty() && options.names.empty());
  if (!options.names.empty()) {
    std::unordered_map<std::string, bool> names;  // folded name: matched
    for (const std::string& name : options.names) names.emplace(UppercaseText(name), false);
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
      auto named = names.find(UppercaseText(archive.entries[i].shown()));
      if (named != names.end()) selected[i] = named->second = true;
    }
    for (const std::string& name : options.names) {
      if (!names[UppercaseText(name)]) {
        observer.ProblemFound({name, "no entry has this name"});
        allMatched = false;
      }
    }
  }
  for (const std::string& pattern : patterns) {
    bool matched = false;
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
      if (GlobMatches(pattern, archive.entries[i].shown(), UppercaseText))
        selected[i] = matched = true;
    }
    if (!matched) {
      observer.ProblemFound({pattern, "no entry matches"});
      allMatched = false;
    }
  }
  return selected;
}

std::string OutputDirectoryPath(const ExtractOptions& options) {
  std::string directory =
      options.directory.empty() ? DefaultDirectory(options.archive) : options.directory;
  if (options.directory.empty() && options.besideArchive) {
    std::u8string beside =
        (PathFromUtf8(options.archive).parent_path() / PathFromUtf8(directory)).u8string();
    directory.assign(beside.begin(), beside.end());
  }
  return directory;
}

// Results known from the plan alone: entries not written, and those a later one replaces.
void PresetFates(const ExtractionPlan& plan, OrderedResults& results) {
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    EntryFate fate = plan.entries[i].fate;
    if (fate == EntryFate::kReplacedLater) results.Preset(i, {Outcome::kSilent, {}});
    if (fate != EntryFate::kWrite && fate != EntryFate::kReplacedLater) {
      results.Preset(i, {Outcome::kFailed, NotWrittenProblem(fate)});
    }
  }
}

}  // namespace

ExtractResult Extract(const ExtractOptions& options, Observer& observer) {
  ExtractResult result;
  ArchiveView archive;
  if ((result.refused = LoadArchive(options.archive, archive))) return result;
  std::vector<bool> selected = SelectEntries(archive, options, observer, result.allMatched);
  const std::string directory = OutputDirectoryPath(options);
  OutputDirectory root;
  if (!root.OpenRoot(PathFromUtf8(directory))) {
    result.refused =
        Problem{directory, "cannot create the directory: " + SystemErrorUtf8(root.error())};
    return result;
  }
  NameCodec codec;
  ExtractionPlan plan =
      PlanExtraction(archive, selected, kHostRules, DecodeWith(codec), UppercaseText,
                     [&codec](const std::string& level) { return codec.FileName(level); });
  std::uint64_t bytes = 0;
  for (const PlannedEntry& planned : plan.entries) {
    if (planned.fate == EntryFate::kWrite) bytes += planned.entry->size;
  }
  OrderedResults results(plan.entries.size(), bytes);
  PresetFates(plan, results);
  Extraction extraction(archive, plan, root, options.existing, results);
  ItemReport report;
  report.name = [&plan](std::size_t i) { return plan.entries[i].entry->shown(); };
  report.doneLine = [&](std::size_t i) { return directory + "/" + plan.entries[i].entry->shown(); };
  report.observer = &observer;
  RunResult run = RunWorkers(
      options.workers, plan.work.size(), [&extraction] { extraction.Work(); }, results, report);
  result.allWritten = run.noneFailed;
  result.stopped = run.stopped;
  for (std::size_t i : run.kept) result.kept.push_back(plan.entries[i].entry->shown());
  result.files = run.done;
  result.bytes = run.bytes;
  return result;
}

}  // namespace mgarc::engine
