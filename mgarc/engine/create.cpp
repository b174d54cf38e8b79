// create, and how it goes: the tree is walked and every file named first
// (tree_walk), each name checked against the rules that make the archive
// extract to the same tree on every host; while any file breaks one, nothing
// is written. The files are then put in order (by stored name, or the order
// file's names first), laid out (archive_layout) and written by the one
// writer into a new file, which takes the archive's place only when whole.
#include "mgarc/engine/create.h"

#include <algorithm>
#include <array>
#include <filesystem>
#include <iterator>
#include <memory>
#include <vector>

#include "archive/archive_format.h"
#include "mgarc/engine/archive_layout.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/block_reading.h"
#include "mgarc/engine/packing_list.h"
#include "mgarc/engine/tree_walk.h"
#include "platform/arguments.h"
#include "platform/file_stream.h"

namespace mgarc::engine {

namespace {

// The names of the order file (a pipe and "-" too).
std::optional<Problem> ReadOrder(const CreateOptions& options, std::vector<std::string>& order) {
  std::string text;
  if (std::optional<std::string> reason = ReadWholeStream(options.orderFile, text)) {
    return Problem{options.orderFile, std::move(*reason)};
  }
  order = ParseOrder(text, options.nulSeparated ? '\0' : '\n');
  return std::nullopt;
}

// The files in order, or the problems that stop the archive being written.
std::vector<Problem> Arrange(const CreateOptions& options, PackedTree& tree,
                             const std::vector<std::string>& order, Observer& observer) {
  std::vector<std::string> unlisted;
  std::vector<Problem> problems = std::move(tree.problems);
  std::vector<Problem> orderProblems =
      ArrangeFiles(tree.files, options.orderFile.empty() ? nullptr : &order, unlisted);
  problems.insert(problems.end(), orderProblems.begin(), orderProblems.end());
  std::uint64_t bytes = 0;
  for (const PackedFile& file : tree.files) bytes += file.size;
  if (auto limit = CheckContainerLimits(options.archive, tree.files.size(), bytes)) {
    problems.push_back(std::move(*limit));
  }
  if (problems.empty()) {
    for (const std::string& name : unlisted) {
      observer.ProblemFound({name, "not in the order file: packed after the names it lists"});
    }
  }
  return problems;
}

// An archive typed where update was meant would be lost: what is at archive
// is replaced only when asked.
std::optional<Problem> RefuseExisting(const std::string& archive) {
  std::error_code failure;
  const std::filesystem::file_status found =
      std::filesystem::status(PathFromUtf8(archive), failure);
  if (!std::filesystem::exists(found) || std::filesystem::is_directory(found)) return std::nullopt;
  ArchiveView existing;
  if (LoadArchive(archive, existing)) {
    return Problem{archive, "exists (not an archive): --force replaces it"};
  }
  return Problem{archive, "exists (" + std::to_string(existing.entries.size()) +
                              (existing.entries.size() == 1 ? " entry" : " entries") +
                              "): 'mgarc update' changes it, --force replaces it"};
}

}  // namespace

CreateResult Create(const CreateOptions& options, Observer& observer) {
  CreateResult result;
  if (!IsArchiveMagic(options.magic)) {
    result.refused = Problem{options.magic, "not a magic of these archives: VIZ00 or ZEL00"};
    return result;
  }
  if (!options.replaceExisting && (result.refused = RefuseExisting(options.archive))) {
    return result;
  }
  // An archive made inside the tree is not packed into itself.
  std::vector<FileIdentity> leaveOut;
  FileIdentity existing;
  if (IdentifyPath(PathFromUtf8(options.archive), &existing)) leaveOut.push_back(existing);
  PackedTree tree =
      ReadPackedTree(options.directory, leaveOut, options.exclude, observer, options.workers);
  if ((result.refused = tree.refused)) return result;
  std::vector<std::string> order;
  if (!options.orderFile.empty() && (result.refused = ReadOrder(options, order))) {
    return result;
  }
  if (std::vector<Problem> problems = Arrange(options, tree, order, observer); !problems.empty()) {
    for (const Problem& problem : problems) observer.ProblemFound(problem);
    result.refused = Problem{options.archive, "not written"};
    return result;
  }
  if (tree.files.size() > kMarrowgilderEntryLimit) {
    observer.ProblemFound({options.archive, std::to_string(tree.files.size()) +
                                                " entries: marrowgilder extracts at most " +
                                                std::to_string(kMarrowgilderEntryLimit)});
  }
  std::array<unsigned char, kFirstEntryOffset> header{};
  EncodeArchiveHeader(options.magic.c_str(), 0, 0, header.data());
  WritePlan plan;
  {
    // Held only while the plan is made: many small files are many entries.
    std::vector<NewEntry> entries;
    entries.reserve(tree.files.size());
    for (const PackedFile& file : tree.files) {
      entries.push_back({file.stored, file.size, &file.path});
    }
    plan = LayOutArchive(header, entries, {});
  }
  ItemReport report;
  report.name = [&tree](std::size_t i) { return tree.files[i].relative; };
  report.doneLine = report.name;
  report.observer = &observer;
  WriteResult written = WritePlanned(plan, options.archive, report, options.workers);
  result.refused = std::move(written.problem);
  result.stopped = written.stopped;
  if (!result.refused && !result.stopped) {
    result.files = tree.files.size();
    for (const PackedFile& file : tree.files) result.bytes += file.size;
  }
  return result;
}

}  // namespace mgarc::engine
