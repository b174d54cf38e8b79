#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "mgarc/archive_view.h"
#include "mgarc/commands.h"
#include "mgarc/entry_names.h"
#include "mgarc/extraction_plan.h"
#include "mgarc/progress_line.h"
#include "platform/arguments.h"
#include "platform/console.h"
#include "platform/file_stream.h"
#include "platform/host_rules.h"
#include "platform/output_directory.h"
#include "platform/text_conversion.h"

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;

enum class Outcome { kPending, kDone, kKept, kFailed };

struct EntryResult {
  Outcome outcome = Outcome::kPending;
  std::string problem;
};

std::string SystemReason(int error) {
  char text[256];
  SystemErrorText(error, text, sizeof text);
  return text;
}

// The directory an archive extracts into by default: its file name without
// the last extension ("voice.dat" gives "voice"), or with ".d" added.
std::string DefaultDirectory(const std::string& archive) {
  std::filesystem::path name = PathFromUtf8(archive).filename();
  std::filesystem::path stem = name.stem();
  std::u8string text = (name.has_extension() && !stem.empty() ? stem : name).u8string();
  std::string directory(text.begin(), text.end());
  return name.has_extension() && !stem.empty() ? directory : directory + ".d";
}

std::string FateProblem(EntryFate fate) {
  switch (fate) {
    case EntryFate::kLeaves:
      return "skipped: the name leads out of the output directory";
    case EntryFate::kReserved:
      return "skipped: Windows cannot hold the name as a file";
    case EntryFate::kNeedsDirectory:
      return "not written: an earlier entry is a file where this name needs a directory";
    case EntryFate::kIsDirectory:
      return "not written: an earlier entry needs this name as a directory";
    case EntryFate::kWrite:
    case EntryFate::kReplacedLater:
      break;
  }
  return {};
}

// Everything the workers share; results are published under the lock.
class Extraction {
 public:
  Extraction(const ArchiveView& archive, const ExtractionPlan& plan, const OutputDirectory& root,
             bool keepExisting)
      : archive_(archive),
        plan_(plan),
        root_(root),
        keepExisting_(keepExisting),
        results_(plan.entries.size()) {}

  void Work() {
    InputFile source;
    std::vector<char> buffer(kBufferSize);
    bool opened = source.Open(PathFromUtf8(archive_.path));
    for (std::size_t k; (k = nextItem_++) < plan_.work.size();) {
      const WorkItem& item = plan_.work[k];
      if (!opened) {
        for (std::size_t i : item.entries) {
          Publish(i,
                  {Outcome::kFailed, "cannot open the archive: " + SystemReason(source.error())});
        }
        continue;
      }
      WriteItem(item, source, buffer);
    }
  }

  std::mutex& mutex() { return mutex_; }
  std::condition_variable& changed() { return changed_; }
  std::vector<EntryResult>& results() { return results_; }
  std::uint64_t bytesDone() const { return bytesDone_; }

  void Publish(std::size_t i, EntryResult result) {
    std::lock_guard<std::mutex> lock(mutex_);
    results_[i] = std::move(result);
    changed_.notify_one();
  }

 private:
  void WriteItem(const WorkItem& item, InputFile& source, std::vector<char>& buffer) {
    const std::vector<std::string>& levels = plan_.entries[item.entries.front()].levels;
    const OutputDirectory* at = &root_;
    OutputDirectory held;
    std::string problem;
    for (std::size_t l = 0; l + 1 < levels.size() && problem.empty(); ++l) {
      OutputDirectory next;
      switch (at->OpenLevel(levels[l], next)) {
        case PlaceOutcome::kOk:
          held = std::move(next);
          at = &held;
          break;
        case PlaceOutcome::kThroughLink:
          problem = "skipped: the path goes through a symbolic link";
          break;
        case PlaceOutcome::kNotADirectory:
          problem = "not written: a file stands where the path needs a directory";
          break;
        default:
          problem = "cannot create a directory: " + SystemReason(at->error());
          break;
      }
    }
    for (std::size_t i : item.entries) {
      EntryResult result{Outcome::kFailed, problem};
      if (problem.empty()) result = WriteEntry(*at, plan_.entries[i], source, buffer);
      Publish(i, std::move(result));
    }
  }

  EntryResult WriteEntry(const OutputDirectory& directory, const PlannedEntry& planned,
                         InputFile& source, std::vector<char>& buffer) {
    const ArchiveEntry& entry = *planned.entry;
    OutputFile file;
    switch (directory.CreateFile(planned.levels.back(), keepExisting_, archive_.identity, file)) {
      case PlaceOutcome::kOk:
        break;
      case PlaceOutcome::kKept:
        return {Outcome::kKept, {}};
      case PlaceOutcome::kIsArchive:
        return {Outcome::kFailed, "not written: this is the archive itself"};
      case PlaceOutcome::kIsDirectory:
        return {Outcome::kFailed, "not written: a directory has this name"};
      default:
        return {Outcome::kFailed, "cannot create the file: " + SystemReason(directory.error())};
    }
    // Data past the end of the archive: the bytes that exist are written.
    std::uint64_t available =
        entry.offset >= archive_.fileSize ? 0 : archive_.fileSize - entry.offset;
    std::uint64_t length = entry.size < available ? entry.size : available;
    std::uint64_t done =
        TransferRange(source, entry.offset, length, file, buffer.data(), buffer.size());
    bytesDone_ += done;
    if (done < length && file.error() != 0) {
      return {Outcome::kFailed, "write failed: " + SystemReason(file.error())};
    }
    if (done < length) {
      return {Outcome::kFailed, "read failed: " + SystemReason(source.error())};
    }
    if (!file.Close()) return {Outcome::kFailed, "write failed: " + SystemReason(file.error())};
    if (length < entry.size) {
      return {Outcome::kFailed, "cut short: the archive holds " + std::to_string(length) +
                                    " of the entry's " + std::to_string(entry.size) + " bytes"};
    }
    return {Outcome::kDone, {}};
  }

  const ArchiveView& archive_;
  const ExtractionPlan& plan_;
  const OutputDirectory& root_;
  const bool keepExisting_;
  std::atomic<std::size_t> nextItem_{0};
  std::atomic<std::uint64_t> bytesDone_{0};
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<EntryResult> results_;
};

// Prints results in directory order as they come, and the progress line.
class Reporter {
 public:
  Reporter(const ExtractOptions& options, const std::string& directory, std::uint64_t bytes,
           std::size_t entries)
      : options_(options),
        directory_(directory),
        bytes_(bytes),
        entries_(entries),
        progress_(!options.quiet && IsTerminal(TextStream::kErr)),
        start_(std::chrono::steady_clock::now()) {}

  // Prints the results from the cursor on that are known; false when one failed.
  bool PrintReady(const ExtractionPlan& plan, const std::vector<EntryResult>& results) {
    bool allWritten = true;
    std::string out;
    std::string err;
    for (; cursor_ < results.size() && results[cursor_].outcome != Outcome::kPending; ++cursor_) {
      const EntryResult& result = results[cursor_];
      const std::string& shown = plan.entries[cursor_].entry->shown;
      if (result.outcome == Outcome::kFailed) {
        err += "mgarc: " + shown + ": " + result.problem + "\n";
        allWritten = false;
      } else if (result.outcome == Outcome::kDone && options_.verbose &&
                 plan.entries[cursor_].fate == EntryFate::kWrite) {
        out += directory_ + "/" + shown + "\n";
      }
    }
    if (!out.empty() || !err.empty()) {
      ClearProgress();
      if (!out.empty()) WriteUtf8(TextStream::kOut, out);
      if (!err.empty()) WriteUtf8(TextStream::kErr, err);
      FlushText(TextStream::kOut);
    }
    return allWritten;
  }

  void DrawProgress(std::uint64_t bytesDone) {
    if (!progress_) return;
    auto now = std::chrono::steady_clock::now();
    if (drawn_ && now - lastDraw_ < std::chrono::milliseconds(100)) return;
    double seconds = std::chrono::duration<double>(now - start_).count();
    WriteUtf8(TextStream::kErr,
              "\r" + ProgressText(cursor_, entries_, bytesDone, bytes_, seconds) + "\x1b[K");
    drawn_ = true;
    lastDraw_ = now;
  }

  // True once every result has been printed: they all are known.
  bool finished() const { return cursor_ == entries_; }

  void ClearProgress() {
    if (!drawn_) return;
    WriteUtf8(TextStream::kErr, "\r\x1b[K");
    drawn_ = false;
  }

 private:
  const ExtractOptions& options_;
  const std::string& directory_;
  const std::uint64_t bytes_;
  const std::size_t entries_;
  const bool progress_;
  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
  bool drawn_ = false;
  std::size_t cursor_ = 0;
};

}  // namespace

int RunExtract(const ExtractOptions& options) {
  ArchiveView archive;
  std::string reason;
  if (!LoadArchive(options.archive, archive, reason)) {
    ReportProblem(options.archive, reason);
    return 2;
  }
  bool allMatched = true;
  std::vector<bool> selected(archive.entries.size(), options.patterns.empty());
  for (const std::string& pattern : options.patterns) {
    bool matched = false;
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
      if (GlobMatches(pattern, archive.entries[i].shown)) selected[i] = matched = true;
    }
    if (!matched) {
      ReportProblem(pattern, "no entry matches");
      allMatched = false;
    }
  }
  const std::string directory =
      options.directory.empty() ? DefaultDirectory(options.archive) : options.directory;
  OutputDirectory root;
  if (!root.OpenRoot(PathFromUtf8(directory))) {
    ReportProblem(directory, "cannot create the directory: " + SystemReason(root.error()));
    return 2;
  }

  NameCodec codec;
  ExtractionPlan plan =
      PlanExtraction(archive, selected, HostNaming{kHostRules.foldCase, kHostReservesWindowsNames},
                     [&codec](const std::string& level) { return codec.FileName(level); });
  std::uint64_t bytes = 0;
  for (const PlannedEntry& planned : plan.entries) {
    if (planned.fate == EntryFate::kWrite) bytes += planned.entry->size;
  }
  Extraction extraction(archive, plan, root, options.keepExisting);
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    EntryFate fate = plan.entries[i].fate;
    if (fate == EntryFate::kReplacedLater) extraction.results()[i].outcome = Outcome::kDone;
    if (fate != EntryFate::kWrite && fate != EntryFate::kReplacedLater) {
      extraction.results()[i] = {Outcome::kFailed, FateProblem(fate)};
    }
  }

  unsigned workers = options.workers != 0 ? options.workers : std::thread::hardware_concurrency();
  if (workers == 0) workers = 1;
  if (workers > plan.work.size()) workers = static_cast<unsigned>(plan.work.size());
  std::vector<std::thread> threads;
  for (unsigned w = 0; w < workers; ++w) threads.emplace_back([&extraction] { extraction.Work(); });

  Reporter reporter(options, directory, bytes, plan.entries.size());
  bool allWritten = true;
  {
    std::unique_lock<std::mutex> lock(extraction.mutex());
    for (;;) {
      allWritten = reporter.PrintReady(plan, extraction.results()) && allWritten;
      if (reporter.finished()) break;
      reporter.DrawProgress(extraction.bytesDone());
      extraction.changed().wait_for(lock, std::chrono::milliseconds(100));
    }
  }
  for (std::thread& thread : threads) thread.join();
  reporter.ClearProgress();
  return allWritten && allMatched ? 0 : 1;
}
