// One pass over an archive's bytes gives every digest diff and apply need:
// the whole file's, each entry's, and those of the bytes outside the entries.
#include "mgarc/engine/archive_digests.h"

#include <algorithm>
#include <memory>

#include "mgarc/engine/block_reading.h"
#include "platform/file_stream.h"

namespace mgarc::engine {

namespace {

constexpr std::size_t kBlockSize = 1 << 20;

// The part of [from, to) that [start, end) covers, fed to hash.
void FeedOverlap(Sha256& hash, const unsigned char* block, std::uint64_t from, std::uint64_t to,
                 std::uint64_t start, std::uint64_t end) {
  std::uint64_t first = std::max(from, start);
  std::uint64_t last = std::min(to, end);
  if (first < last) hash.Update(block + (first - from), static_cast<std::size_t>(last - first));
}

}  // namespace

std::optional<Problem> DigestArchive(const ArchiveView& archive, ArchiveDigests& digests,
                                     bool wholeOnly) {
  const std::uint64_t size = archive.fileSize;
  const std::uint64_t dataEnd = archive.entryDataEnd();
  const std::uint64_t trailingStart = std::max(dataEnd, archive.directoryEnd());
  Sha256 whole;
  Sha256 entry;
  Sha256 gap;
  Sha256 trailing;
  digests.entries.assign(archive.entries.size(), Sha256Digest{});
  std::size_t next = 0;  // the entry being hashed
  auto finishDone = [&](std::uint64_t upTo) {
    // Entries that end by upTo (0-byte ones included) are complete.
    while (next < archive.entries.size() && std::min(archive.entries[next].end(), size) <= upTo) {
      digests.entries[next++] = entry.Finish();
    }
  };
  finishDone(kFirstEntryOffset);
  std::uint64_t at = 0;
  auto feed = [&](const unsigned char* block, std::size_t got) {
    const std::uint64_t to = at + got;
    whole.Update(block, got);
    if (!wholeOnly) {
      // Entries tile [16, dataEnd) in order: a block finishes some and goes into one.
      while (next < archive.entries.size()) {
        const ArchiveEntry& current = archive.entries[next];
        std::uint64_t end = std::min(current.end(), size);
        FeedOverlap(entry, block, at, to, current.offset, end);
        if (end > to) break;
        finishDone(end);
      }
      FeedOverlap(gap, block, at, to, dataEnd, archive.directoryOffset);
      FeedOverlap(trailing, block, at, to, trailingStart, size);
    }
    at = to;
    return true;
  };
  if (ReadInBlocks(*archive.file, 0, size, kBlockSize, feed) < size) {
    return Problem{archive.path, ShortReadReason(*archive.file, "cannot be read: ", at)};
  }
  finishDone(size);
  digests.whole = whole.Finish();
  digests.gap = gap.Finish();
  digests.trailing = trailing.Finish();
  return std::nullopt;
}

}  // namespace mgarc::engine
