#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "archive/path_rules.h"
#include "mgarc/archive_view.h"
#include "mgarc/commands.h"
#include "mgarc/entry_names.h"
#include "mgarc/extraction_plan.h"
#include "mgarc/ordered_results.h"
#include "mgarc/progress_line.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/file_stream.h"
#include "platform/file_transfer.h"
#include "platform/output_directory.h"
#include "platform/text_conversion.h"

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;

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
             bool keepExisting, OrderedResults& results)
      : archive_(archive),
        plan_(plan),
        root_(root),
        keepExisting_(keepExisting),
        results_(results) {}

  void Work() {
    // Left unfilled: the system moves most bytes, and untouched pages cost no memory.
    auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    InputFile source;
    std::string problem = OpenSource(source);
    for (std::size_t k; (k = nextItem_++) < plan_.work.size();) {
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
    if (!source.Open(PathFromUtf8(archive_.path))) {
      return "cannot open the archive: " + SystemErrorUtf8(source.error());
    }
    std::uint64_t size = 0;
    FileIdentity identity;
    std::int64_t modified = 0;
    if (!source.Describe(&size, &identity, &modified) || !(identity == archive_.identity)) {
      return "not written: the archive was replaced while it was read";
    }
    return {};
  }

  void WriteItem(const WorkItem& item, InputFile& source, char* buffer) {
    const std::vector<std::string_view> levels =
        plan_.directories.Levels(plan_.entries[item.entries.front()].directory);
    const OutputDirectory* at = &root_;
    OutputDirectory held;
    std::string problem;
    for (std::size_t l = 0; l < levels.size() && problem.empty(); ++l) {
      OutputDirectory next;
      switch (at->OpenLevel(std::string(levels[l]), next)) {
        case PlaceOutcome::kOk:
          held = std::move(next);
          at = &held;
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
    for (std::size_t i : item.entries) {
      ItemResult result{Outcome::kFailed, problem};
      if (problem.empty()) result = WriteEntry(*at, i, source, buffer);
      results_.Publish(i, std::move(result));
    }
  }

  ItemResult WriteEntry(const OutputDirectory& directory, std::size_t planned, InputFile& source,
                        char* buffer) {
    const ArchiveEntry& entry = *plan_.entries[planned].entry;
    OutputFile file;
    switch (directory.CreateEntryFile(std::string(plan_.FileName(planned)), keepExisting_,
                                      archive_.identity, file)) {
      case PlaceOutcome::kOk:
        break;
      case PlaceOutcome::kKept:
        return {Outcome::kSilent, {}};
      case PlaceOutcome::kNotOneLevel:
        return {Outcome::kFailed, NotWrittenProblem(EntryFate::kLeaves)};
      case PlaceOutcome::kIsArchive:
        return {Outcome::kFailed, "not written: this is the archive itself"};
      case PlaceOutcome::kIsDirectory:
        return {Outcome::kFailed, "not written: a directory has this name"};
      default:
        return {Outcome::kFailed, "cannot create the file: " + SystemErrorUtf8(directory.error())};
    }
    const std::uint64_t length = entry.held;
    std::uint64_t done = TransferRange(source, entry.offset, length, file, 0, buffer, kBufferSize);
    results_.AddBytes(done);
    if (done < length && file.error() != 0) {
      return {Outcome::kFailed, "write failed: " + SystemErrorUtf8(file.error())};
    }
    if (done < length) {
      return {Outcome::kFailed, ShortReadReason(source, "read failed: ", entry.offset + done)};
    }
    if (!file.Close()) return {Outcome::kFailed, "write failed: " + SystemErrorUtf8(file.error())};
    if (std::string problem = CutShortProblem(entry); !problem.empty()) {
      return {Outcome::kFailed, problem};
    }
    return {Outcome::kDone, {}};
  }

  const ArchiveView& archive_;
  const ExtractionPlan& plan_;
  const OutputDirectory& root_;
  const bool keepExisting_;
  OrderedResults& results_;
  std::atomic<std::size_t> nextItem_{0};
};

}  // namespace

int RunExtract(const ExtractOptions& options) {
  ArchiveView archive;
  if (!OpenArchive(options.archive, archive)) return kExitStopped;
  bool allMatched = true;
  std::vector<bool> selected(archive.entries.size(), options.patterns.empty());
  for (const std::string& pattern : options.patterns) {
    bool matched = false;
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
      if (GlobMatches(pattern, archive.entries[i].shown(), UppercaseText))
        selected[i] = matched = true;
    }
    if (!matched) {
      ReportProblem(pattern, "no entry matches");
      allMatched = false;
    }
  }
  std::string directory =
      options.directory.empty() ? DefaultDirectory(options.archive) : options.directory;
  if (options.directory.empty() && options.besideArchive) {
    std::u8string beside =
        (PathFromUtf8(options.archive).parent_path() / PathFromUtf8(directory)).u8string();
    directory.assign(beside.begin(), beside.end());
  }
  OutputDirectory root;
  if (!root.OpenRoot(PathFromUtf8(directory))) {
    ReportProblem(directory, "cannot create the directory: " + SystemErrorUtf8(root.error()));
    return kExitStopped;
  }

  NameCodec codec;
  ExtractionPlan plan =
      PlanExtraction(archive, selected, kHostRules, DecodeWith(codec), UppercaseText,
                     [&codec](const std::string& level) { return codec.FileName(level); });
  std::uint64_t bytes = 0;
  for (const PlannedEntry& planned : plan.entries) {
    if (planned.fate == EntryFate::kWrite) bytes += planned.entry->size;
  }
  OrderedResults results(plan.entries.size());
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    EntryFate fate = plan.entries[i].fate;
    if (fate == EntryFate::kReplacedLater) results.Preset(i, {Outcome::kSilent, {}});
    if (fate != EntryFate::kWrite && fate != EntryFate::kReplacedLater) {
      results.Preset(i, {Outcome::kFailed, NotWrittenProblem(fate)});
    }
  }
  Extraction extraction(archive, plan, root, options.keepExisting, results);
  ProgressDisplay progress(!options.quiet && IsTerminal(TextStream::kErr), plan.entries.size(),
                           bytes);
  auto name = [&plan](std::size_t i) { return plan.entries[i].entry->shown(); };
  std::function<std::string(std::size_t)> doneLine;
  if (options.verbose) {
    doneLine = [&](std::size_t i) { return directory + "/" + plan.entries[i].entry->shown(); };
  }
  bool allWritten = RunWorkers(
      options.workers, plan.work.size(), [&extraction] { extraction.Work(); }, results, name,
      doneLine, progress);
  return allWritten && allMatched ? kExitDone : kExitIncomplete;
}
