// Copying one entry's byte range out of the archive into a new file, by the
// system's file-to-file copy where it has one, otherwise through one buffer,
// with the messages each failure prints.

#include "marrowgilder/engine/entry_copy.h"

#include <cinttypes>
#include <cstdio>

#include "platform/console.h"
#include "platform/file_stream.h"
#include "platform/file_transfer.h"
#include "platform/message_box.h"
#include "platform/zero_block.h"

namespace marrowgilder::engine {

namespace {

constexpr std::uint64_t kOffsetLimit = std::uint64_t{1} << 32;

int Report(const char* outputPath, const char* problem, int error, int result) {
  char line[512];
  if (error != 0) {
    char reason[256];
    SystemErrorText(error, reason, sizeof reason);
    std::snprintf(line, sizeof line, "%s: %s: %s\n", outputPath, problem, reason);
  } else {
    std::snprintf(line, sizeof line, "%s: %s\n", outputPath, problem);
  }
  WriteErr(line);
  return result;
}

}  // namespace

int CopyByteRange(std::uint32_t start, std::uint32_t end, const char* archivePath,
                  const char* outputPath) {
  const std::uint64_t wanted =
      end >= start ? std::uint64_t{end} - start : std::uint64_t{end} + kOffsetLimit - start;
  const std::uint64_t reachable = kOffsetLimit - start;
  const std::uint64_t length = wanted < reachable ? wanted : reachable;
  // A small entry needs no more buffer than its own length.
  const std::size_t bufferSize =
      length < kTransferSize ? static_cast<std::size_t>(length) + 1 : kTransferSize;
  ZeroBlock buffer(bufferSize, BlockHeap::kLocal);
  if (!buffer.ok()) {
    ShowMessageBox("Memory Getter Is Failed!", "Error");
    return kCopyNoBuffer;
  }
  InputFile archive;
  if (!archive.Open(archivePath)) {
    return Report(outputPath, "cannot open the archive", archive.error(), kCopyArchiveNotOpened);
  }
  OutputFile output;
  bool existed = false;
  if (!output.CreateNew(outputPath, &existed)) {
    if (!existed) {
      return Report(outputPath, "cannot create the file", output.error(), kCopyOutputNotCreated);
    }
    // Only a file that is there already can be the archive: emptying it would lose it.
    if (archive.IsSameFileAs(outputPath)) {
      return Report(outputPath, "not written: this is the archive itself", 0, kCopyOutputIsArchive);
    }
    if (!output.Create(outputPath)) {
      return Report(outputPath, "cannot create the file", output.error(), kCopyOutputNotCreated);
    }
  }

  std::uint64_t done = TransferRange(archive, start, length, output, 0, buffer.chars(), bufferSize);
  if (done < length && output.error() != 0) {
    return Report(outputPath, "write failed", output.error(), kCopyWriteFailed);
  }
  if (done < length && archive.error() != 0) {
    return Report(outputPath, "read failed", archive.error(), kCopyReadFailed);
  }
  if (!output.Close()) return Report(outputPath, "write failed", output.error(), kCopyWriteFailed);
  if (done < wanted) {
    char problem[160];
    std::snprintf(problem, sizeof problem,
                  "cut short: the archive holds %" PRIu64 " of the entry's %" PRIu64 " bytes", done,
                  wanted);
    return Report(outputPath, problem, 0, kCopyCutShort);
  }
  return kCopyDone;
}

}  // namespace marrowgilder::engine
