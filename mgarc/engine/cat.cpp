// cat: one entry found by name and its bytes handed on in blocks.
#include "mgarc/engine/cat.h"

#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/block_reading.h"
#include "platform/case_folding.h"

namespace mgarc::engine {

CatResult Cat(const CatOptions& options, Observer& observer,
              const std::function<bool(const unsigned char*, std::size_t)>& write) {
  CatResult result;
  ArchiveView archive;
  if ((result.refused = LoadArchive(options.archive, archive))) return result;
  // The last match wins, as extraction leaves it; case is ignored as patterns ignore it.
  const std::string wanted = UppercaseText(options.name);
  const ArchiveEntry* found = nullptr;
  for (const ArchiveEntry& entry : archive.entries) {
    if (UppercaseText(entry.shown()) == wanted) found = &entry;
  }
  if (found == nullptr) {
    result.refused = Problem{options.archive, "no entry named " + options.name};
    return result;
  }
  const std::uint64_t read = ReadInBlocks(*archive.file, found->offset, found->present, 1 << 20,
                                          [&](const unsigned char* bytes, std::size_t size) {
                                            result.stopped =
                                                !write(bytes, size) || observer.StopRequested();
                                            return !result.stopped;
                                          });
  if (result.stopped) return result;
  if (read < found->present) {
    result.refused = Problem{
        options.archive, ShortReadReason(*archive.file, "cannot be read: ", found->offset + read)};
    return result;
  }
  result.cutShort = CutShortProblem(*found);
  return result;
}

}  // namespace mgarc::engine
