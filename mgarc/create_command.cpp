#include <algorithm>
#include <atomic>
#include <map>
#include <memory>
#include <thread>

#include "archive/archive_format.h"
#include "mgarc/archive_view.h"
#include "mgarc/commands.h"
#include "mgarc/ordered_results.h"
#include "mgarc/packing_list.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/file_stream.h"
#include "platform/text_conversion.h"
#include "platform/tree_listing.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kBufferSize = 256 * 1024;
// Files below this size are read into the buffer, several at a time, rather
// than copied by the system one by one.
constexpr std::uint64_t kSmallFile = 64 * 1024;

// Every regular file below root, links followed. What cannot be packed is
// named in notes and left out; failure tells why the tree cannot be read.
struct TreeWalk {
  std::vector<PackedFile> files;
  std::vector<PackingProblem> notes;
  std::string failure;
};

// Reports in one order on every machine, whatever order the system lists.
void SortWalk(TreeWalk& walk) {
  std::sort(walk.files.begin(), walk.files.end(),
            [](const PackedFile& a, const PackedFile& b) { return a.relative < b.relative; });
  std::sort(walk.notes.begin(), walk.notes.end(),
            [](const PackingProblem& a, const PackingProblem& b) { return a.subject < b.subject; });
}

TreeWalk WalkTree(const fs::path& root, const std::vector<FileIdentity>& leaveOut) {
  TreeListing listing = ListTree(root, leaveOut);
  TreeWalk walk;
  walk.failure = listing.failure;
  for (ListedFile& file : listing.files) {
    walk.files.push_back({std::move(file.path), std::move(file.relative), {}, file.size});
  }
  for (auto& [relative, why] : listing.leftOut) {
    walk.notes.push_back({relative, why == LeftOut::kLoop
                                        ? "left out: a link back to a directory above it"
                                    : why == LeftOut::kEmptyDirectory
                                        ? "left out: an archive cannot hold an empty directory"
                                        : "left out: neither a file nor a directory"});
  }
  SortWalk(walk);
  return walk;
}

// Copies each file into its place in the new archive; each worker takes the
// next piece of work until none is left: a large file, or a run of
// neighbouring small ones that fills the buffer and is written in one call
// (the archive is one file, which takes its writes one at a time).
class Packing {
 public:
  Packing(const std::vector<PackedFile>& files, const fs::path& temporary, OrderedResults& results)
      : files_(files), temporary_(temporary), results_(results) {
    std::uint64_t offset = kFirstEntryOffset;
    std::uint64_t runBytes = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
      offsets_.push_back(offset);
      offset += files[i].size;
      // One byte past each small file is read too: room for it after the last.
      bool small = files[i].size < kSmallFile;
      bool joins = small && !pieces_.empty() && i > 0 && files[i - 1].size < kSmallFile &&
                   runBytes + files[i].size + 1 <= kBufferSize;
      if (joins) {
        runBytes += files[i].size;
      } else {
        pieces_.push_back(i);
        runBytes = small ? files[i].size : 0;
      }
    }
    pieces_.push_back(files.size());
  }

  void Work() {
    OutputFile archive;
    bool opened = archive.OpenForUpdate(temporary_);
    // Left unfilled: the system moves the bytes of large files, and untouched
    // pages cost no memory.
    auto buffer = std::make_unique_for_overwrite<char[]>(kBufferSize);
    for (std::size_t p; (p = next_++) + 1 < pieces_.size();) {
      const std::size_t first = pieces_[p];
      const std::size_t end = pieces_[p + 1];
      if (!opened) {
        for (std::size_t i = first; i < end; ++i) {
          results_.Publish(i, {Outcome::kFailed,
                               "cannot write the archive: " + SystemErrorUtf8(archive.error())});
        }
      } else if (files_[first].size >= kSmallFile) {
        results_.Publish(first, Pack(files_[first], offsets_[first], archive, buffer.get()));
      } else {
        PackSmall(first, end, archive, buffer.get());
      }
    }
  }

 private:
  ItemResult Pack(const PackedFile& file, std::uint64_t offset, OutputFile& archive, char* buffer) {
    InputFile source;
    if (!source.Open(file.path)) {
      return {Outcome::kFailed, "cannot open: " + SystemErrorUtf8(source.error())};
    }
    std::uint64_t size = 0;
    FileIdentity identity;
    std::int64_t modified = 0;
    if (!source.Describe(&size, &identity, &modified) || size != file.size) {
      return {Outcome::kFailed, "changed size while the archive was made"};
    }
    std::uint64_t done = TransferRange(source, 0, size, archive, offset, buffer, kBufferSize);
    results_.AddBytes(done);
    if (done < size && archive.error() != 0) {
      return {Outcome::kFailed, "cannot write the archive: " + SystemErrorUtf8(archive.error())};
    }
    if (done < size && source.error() != 0) {
      return {Outcome::kFailed, "cannot read: " + SystemErrorUtf8(source.error())};
    }
    if (done < size || !source.Describe(&size, &identity, &modified) || size != file.size) {
      return {Outcome::kFailed, "changed size while the archive was made"};
    }
    return {Outcome::kDone, {}};
  }

  // Reads a small file whole into place, asking for one byte more than its
  // size: more or fewer mean it changed size since the walk.
  static ItemResult ReadSmall(const PackedFile& file, char* into) {
    InputFile source;
    if (!source.Open(file.path)) {
      return {Outcome::kFailed, "cannot open: " + SystemErrorUtf8(source.error())};
    }
    const auto size = static_cast<std::size_t>(file.size);
    std::size_t got = source.ReadAt(0, into, size + 1);
    if (got < size && source.error() != 0) {
      return {Outcome::kFailed, "cannot read: " + SystemErrorUtf8(source.error())};
    }
    if (got != size) return {Outcome::kFailed, "changed size while the archive was made"};
    return {Outcome::kDone, {}};
  }

  // Files first to end, small and neighbours in the archive, in one write.
  void PackSmall(std::size_t first, std::size_t end, OutputFile& archive, char* buffer) {
    std::vector<ItemResult> read;
    std::size_t used = 0;
    for (std::size_t i = first; i < end; ++i) {
      read.push_back(ReadSmall(files_[i], buffer + used));
      used += static_cast<std::size_t>(files_[i].size);
    }
    bool written = archive.WriteAt(offsets_[first], buffer, used);
    for (std::size_t i = first; i < end; ++i) {
      ItemResult& result = read[i - first];
      if (!written && result.outcome == Outcome::kDone) {
        result = {Outcome::kFailed,
                  "cannot write the archive: " + SystemErrorUtf8(archive.error())};
      }
      if (result.outcome == Outcome::kDone) results_.AddBytes(files_[i].size);
      results_.Publish(i, std::move(result));
    }
  }

  const std::vector<PackedFile>& files_;
  const fs::path& temporary_;
  OrderedResults& results_;
  std::vector<std::uint64_t> offsets_;
  std::vector<std::size_t> pieces_;  // where each piece of work starts; then files_.size()
  std::atomic<std::size_t> next_{0};
};

void ReportAll(const std::vector<PackingProblem>& problems) {
  for (const PackingProblem& problem : problems) ReportProblem(problem.subject, problem.reason);
}

// Header and directory for the files in their order.
bool WriteHeaderAndDirectory(const std::vector<PackedFile>& files, const std::string& magic,
                             OutputFile& archive) {
  std::uint64_t directoryOffset = kFirstEntryOffset;
  for (const PackedFile& file : files) directoryOffset += file.size;
  std::vector<unsigned char> directory(kRecordSize * files.size());
  for (std::size_t i = 0; i < files.size(); ++i) {
    EncodeDirectoryRecord(files[i].stored.c_str(), static_cast<std::uint32_t>(files[i].size),
                          &directory[kRecordSize * i]);
  }
  unsigned char header[kFirstEntryOffset];
  EncodeArchiveHeader(magic.c_str(), static_cast<std::uint16_t>(files.size()),
                      static_cast<std::uint32_t>(directoryOffset), header);
  return archive.WriteAt(0, header, sizeof header) &&
         archive.WriteAt(directoryOffset, directory.data(), directory.size());
}

}  // namespace

int RunCreate(const CreateOptions& options) {
  const fs::path archivePath = PathFromUtf8(options.archive);
  const fs::path root = PathFromUtf8(options.directory);
  std::error_code failure;
  if (!fs::is_directory(root, failure)) {
    ReportProblem(options.directory, failure ? failure.message() : "not a directory");
    return kExitStopped;
  }
  // An archive made inside the tree is not packed into itself.
  std::vector<FileIdentity> leaveOut;
  FileIdentity existing;
  if (IdentifyPath(archivePath, &existing)) leaveOut.push_back(existing);
  TreeWalk walk = WalkTree(root, leaveOut);
  if (!walk.failure.empty()) {
    ReportProblem(options.directory, "cannot be read: " + walk.failure);
    return kExitStopped;
  }
  ReportAll(walk.notes);

  NameCodec codec;
  NameConversion conversion{
      [&codec](const std::string& text, std::string& out) { return codec.Encode(text, out); },
      DecodeWith(codec), UppercaseText};
  std::vector<PackingProblem> problems = AssignStoredNames(walk.files, conversion);
  std::vector<std::string> order;
  if (!options.orderFile.empty()) {
    // Read as a stream: a pipe or standard input ("-") has no size to go by.
    InputFile orderFile;
    bool opened = true;
    if (options.orderFile == "-") {
      orderFile.UseStandardInput();
    } else {
      opened = orderFile.OpenStream(PathFromUtf8(options.orderFile));
    }
    std::string text;
    char chunk[64 * 1024];
    for (std::size_t got; opened && (got = orderFile.Read(chunk, sizeof chunk)) > 0;) {
      text.append(chunk, got);
    }
    if (!opened || orderFile.error() != 0) {
      ReportProblem(options.orderFile, SystemErrorUtf8(orderFile.error()));
      return kExitStopped;
    }
    order = ParseOrder(text);
  }
  std::vector<std::string> unlisted;
  std::vector<PackingProblem> orderProblems =
      ArrangeFiles(walk.files, options.orderFile.empty() ? nullptr : &order, unlisted);
  problems.insert(problems.end(), orderProblems.begin(), orderProblems.end());
  std::string limit;
  if (!FitsTheContainer(walk.files, limit)) {
    problems.push_back({options.archive, limit});
  }
  if (!problems.empty()) {
    ReportAll(problems);
    ReportProblem(options.archive, "not written");
    return kExitStopped;
  }
  for (const std::string& name : unlisted) {
    ReportProblem(name, "not in the order file: packed after the names it lists");
  }
  if (walk.files.size() > kMarrowgilderEntryLimit) {
    ReportProblem(options.archive, std::to_string(walk.files.size()) +
                                       " entries: marrowgilder extracts at most " +
                                       std::to_string(kMarrowgilderEntryLimit));
  }

  OutputFile archive;
  fs::path temporary;
  if (!archive.CreateTemporaryBeside(archivePath, temporary)) {
    ReportProblem(options.archive,
                  "cannot create a file beside it: " + SystemErrorUtf8(archive.error()));
    return kExitStopped;
  }
  RemoveOnInterrupt removeOnInterrupt(temporary);
  std::uint64_t bytes = 0;
  for (const PackedFile& file : walk.files) bytes += file.size;
  OrderedResults results(walk.files.size());
  Packing packing(walk.files, temporary, results);
  ProgressDisplay progress(!options.quiet && IsTerminal(TextStream::kErr), walk.files.size(),
                           bytes);
  auto name = [&walk](std::size_t i) { return walk.files[i].relative; };
  std::function<std::string(std::size_t)> doneLine;
  if (options.verbose) doneLine = name;
  bool packed = RunWorkers(
      options.workers, walk.files.size(), [&packing] { packing.Work(); }, results, name, doneLine,
      progress);

  int error = 0;
  bool written = packed && WriteHeaderAndDirectory(walk.files, options.magic, archive) &&
                 archive.Sync() && archive.Close();
  if (packed && !written) error = archive.error();
  if (written && !ReplaceFile(temporary, archivePath, &error)) written = false;
  if (!written) {
    archive.Close();
    fs::remove(temporary, failure);
    ReportProblem(options.archive, error != 0 ? "not written: " + SystemErrorUtf8(error)
                                              : std::string("not written"));
    return kExitStopped;
  }
  return kExitDone;
}
