#include <vector>

#include "mgarc/cli/commands.h"
#include "mgarc/engine/archive_view.h"
#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/file_stream.h"

namespace mgarc::cli {
using namespace engine;

ExitStatus RunCat(const CatOptions& options) {
  ArchiveView archive;
  if (!OpenArchive(options.archive, archive)) return ExitStatus::kStopped;
  // The last match wins, as extraction leaves it; case is ignored as patterns ignore it.
  const std::string wanted = UppercaseText(options.name);
  const ArchiveEntry* found = nullptr;
  for (const ArchiveEntry& entry : archive.entries) {
    if (UppercaseText(entry.shown()) == wanted) found = &entry;
  }
  if (found == nullptr) {
    ReportProblem(options.archive, "no entry named " + options.name);
    return ExitStatus::kStopped;
  }
  const std::uint64_t length = found->held;
  std::vector<char> buffer(1 << 20);
  for (std::uint64_t done = 0; done < length;) {
    std::uint64_t left = length - done;
    std::size_t piece = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
    std::size_t got = archive.file->ReadAt(found->offset + done, buffer.data(), piece);
    // A write that fails is reported once, as the program ends.
    if (got > 0 && !WriteBinaryOut(buffer.data(), got)) return ExitStatus::kStopped;
    done += got;
    if (got < piece) {
      ReportProblem(options.archive,
                    ShortReadReason(*archive.file, "cannot be read: ", found->offset + done));
      return ExitStatus::kStopped;
    }
  }
  if (!FlushText(TextStream::kOut)) return ExitStatus::kStopped;
  if (std::string problem = CutShortProblem(*found); !problem.empty()) {
    ReportProblem(found->shown(), problem);
    return ExitStatus::kIncomplete;
  }
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
