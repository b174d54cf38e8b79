#include <vector>

#include "mgarc/archive_view.h"
#include "mgarc/commands.h"
#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/file_stream.h"

int RunCat(const CatOptions& options) {
  ArchiveView archive;
  if (!OpenArchive(options.archive, archive)) return kExitStopped;
  // The last match wins, as extraction leaves it; case is ignored as patterns ignore it.
  const std::string wanted = UppercaseText(options.name);
  const ArchiveEntry* found = nullptr;
  for (const ArchiveEntry& entry : archive.entries) {
    if (UppercaseText(entry.shown()) == wanted) found = &entry;
  }
  if (found == nullptr) {
    ReportProblem(options.archive, "no entry named " + options.name);
    return kExitStopped;
  }
  const std::uint64_t length = found->held;
  std::vector<char> buffer(1 << 20);
  for (std::uint64_t done = 0; done < length;) {
    std::uint64_t left = length - done;
    std::size_t piece = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
    std::size_t got = archive.file->ReadAt(found->offset + done, buffer.data(), piece);
    // A write that fails is reported once, as the program ends.
    if (got > 0 && !WriteBinaryOut(buffer.data(), got)) return kExitStopped;
    done += got;
    if (got < piece) {
      ReportProblem(options.archive,
                    ShortReadReason(*archive.file, "cannot be read: ", found->offset + done));
      return kExitStopped;
    }
  }
  if (!FlushText(TextStream::kOut)) return kExitStopped;
  if (std::string problem = CutShortProblem(*found); !problem.empty()) {
    ReportProblem(found->shown(), problem);
    return kExitIncomplete;
  }
  return kExitDone;
}
