// update, and how it goes. The new archive is the old one with edited files
// in their entries' places, new files at the end and deleted entries gone;
// every other entry keeps its name and its place in the directory, so that a
// game that looks entries up by index still finds them.
// - Prepare: the archive is loaded and the tree read and named as create
//   names it (tree_walk). A file replaces the last entry of its name, as that
//   is the one extract writes; a file whose bytes equal the entry's keeps the
//   entry, so that an unchanged tree changes nothing. Every problem (a name
//   that cannot be stored, a pattern that matches nothing, an entry whose
//   data cannot be copied, the container's limits) is found before anything
//   is written.
// - Update: kept entries are ranges of the old archive, the others files;
//   the layout is create's (archive_layout), and the one writer writes a new
//   file that takes the archive's place only when whole. The old archive is
//   read through the writer's own handles, checked to be the same file.
#include "mgarc/engine/update.h"

#include <algorithm>
#include <array>

#include "mgarc/engine/archive_layout.h"
#include "mgarc/engine/block_reading.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/tree_walk.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/file_stream.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

namespace {

// True when the file holds exactly the entry's bytes.
bool HoldsEntryBytes(const PackedFile& file, const ArchiveView& archive,
                     const ArchiveEntry& entry) {
  if (file.size != entry.size || WhyNotKept(archive, entry)) return false;
  InputFile source;
  return source.Open(std::filesystem::path(file.path)) &&
         SameBytes(*archive.file, entry.offset, source, 0, entry.size);
}

// Entries whose file holds their very bytes are kept rather than replaced.
void KeepUnchanged(PreparedUpdate& update) {
  for (UpdatedEntry& entry : update.plan.entries) {
    if (entry.old != nullptr && entry.file != nullptr &&
        HoldsEntryBytes(*entry.file, update.archive, *entry.old)) {
      entry.file = nullptr;
      --update.plan.replaced;
      ++update.plan.kept;
    }
  }
}

void NoteLeftOut(PreparedUpdate& update) {
  const ArchiveView& archive = update.archive;
  if (archive.entryDataEnd() < archive.directoryOffset) {
    update.leftOut.push_back(
        {archive.path, "the " + std::to_string(archive.directoryOffset - archive.entryDataEnd()) +
                           " bytes between the data and the directory are left out"});
  }
  if (archive.directoryEnd() < archive.fileSize) {
    update.leftOut.push_back(
        {archive.path, "the " + std::to_string(archive.fileSize - archive.directoryEnd()) +
                           " bytes after the directory are left out"});
  }
}

// The files of options.directory, named; false when any cannot be put in
// (each reported).
bool ReadFiles(const UpdateOptions& options, PreparedUpdate& update, Observer& observer) {
  if (options.directory.empty()) return true;
  PackedTree tree = ReadPackedTree(options.directory, {update.archive.identity}, options.exclude,
                                   observer, options.workers);
  if (tree.refused) tree.problems.push_back(std::move(*tree.refused));
  for (const Problem& problem : tree.problems) observer.ProblemFound(problem);
  if (!tree.problems.empty()) return false;
  std::vector<std::string> unlisted;
  ArrangeFiles(tree.files, nullptr, unlisted);
  update.files = std::move(tree.files);
  return true;
}

// The names of the delete list, each as a pattern that matches it alone.
std::optional<Problem> ReadDeleteList(const UpdateOptions& options,
                                      std::vector<std::string>& deletions) {
  if (options.deleteFrom.empty()) return std::nullopt;
  std::string text;
  if (std::optional<std::string> reason = ReadWholeStream(options.deleteFrom, text)) {
    return Problem{options.deleteFrom, std::move(*reason)};
  }
  for (const std::string& name : ParseOrder(text, options.nulSeparated ? '\0' : '\n')) {
    deletions.push_back(LiteralPattern(name));
  }
  return std::nullopt;
}

}  // namespace

PreparedUpdate PrepareUpdate(const UpdateOptions& options, Observer& observer) {
  PreparedUpdate update;
  if ((update.refused = LoadArchive(options.archive, update.archive))) return update;
  const Problem notWritten{options.archive, "not written"};
  if (!ReadFiles(options, update, observer)) {
    update.refused = notWritten;
    return update;
  }
  NameCodec codec;
  auto key = [decode = DecodeWith(codec)](std::string_view stored) {
    return OutputPathKey(stored, kWindowsRules, decode, UppercaseText);
  };
  std::vector<std::string> deletions = options.deletions;
  if ((update.refused = ReadDeleteList(options, deletions))) return update;
  update.plan = PlanUpdate(update.archive, update.files, deletions, key, UppercaseText);
  KeepUnchanged(update);
  std::uint64_t bytes = 0;
  for (const UpdatedEntry& entry : update.plan.entries) {
    bytes += entry.file != nullptr ? entry.file->size : entry.old->size;
  }
  if (auto limit = CheckContainerLimits(options.archive, update.plan.entries.size(), bytes)) {
    update.plan.problems.push_back(std::move(*limit));
  }
  if (!update.plan.problems.empty()) {
    for (const Problem& problem : update.plan.problems) observer.ProblemFound(problem);
    update.refused = notWritten;
    return update;
  }
  NoteLeftOut(update);
  return update;
}

UpdateResult Update(PreparedUpdate& update, unsigned workers, Observer& observer) {
  if (update.upToDate()) return {};
  ArchiveView& archive = update.archive;
  std::vector<NewEntry> entries;
  entries.reserve(update.plan.entries.size());
  for (const UpdatedEntry& entry : update.plan.entries) {
    if (entry.file != nullptr) {
      entries.push_back(
          {entry.old != nullptr ? entry.old->stored() : std::string_view(entry.file->stored),
           entry.file->size, &entry.file->path});
    } else {
      entries.push_back({entry.old->stored(), entry.old->size, nullptr, entry.old->offset});
    }
  }
  WritePlan plan =
      LayOutArchive(archive.header, entries, {{PathFromUtf8(archive.path), archive.identity}});
  // The writer reads through handles of its own; Windows puts no file in the
  // place of one that is open.
  archive.file.reset();
  ItemReport report;
  report.name = [&update](std::size_t item) {
    const UpdatedEntry& entry = update.plan.entries[item];
    return entry.file != nullptr ? entry.file->relative : entry.old->shown();
  };
  report.observer = &observer;
  WriteResult written = WritePlanned(plan, archive.path, report, workers);
  return {std::move(written.problem), written.stopped};
}

}  // namespace mgarc::engine
