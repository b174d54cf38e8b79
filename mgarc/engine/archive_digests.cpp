#include "mgarc/engine/archive_digests.h"

#include <algorithm>
#include <memory>

#include "platform/file_stream.h"

namespace mgarc::engine {

namespace {

constexpr std::size_t kChunk = 1 << 20;

// The part of [from, to) that [start, end) covers, fed to hash.
void FeedOverlap(Sha256& hash, const unsigned char* chunk, std::uint64_t from, std::uint64_t to,
                 std::uint64_t start, std::uint64_t end) {
  std::uint64_t first = std::max(from, start);
  std::uint64_t last = std::min(to, end);
  if (first < last) hash.Update(chunk + (first - from), static_cast<std::size_t>(last - first));
}

}  // namespace

bool DigestArchive(const ArchiveView& archive, ArchiveDigests& digests, std::string& problem,
                   bool wholeOnly) {
  const std::uint64_t size = archive.fileSize;
  const std::uint64_t dataEnd = archive.entryDataEnd();
  const std::uint64_t trailingStart = std::max(dataEnd, archive.directoryEnd());
  Sha256 whole;
  Sha256 entry;
  Sha256 gap;
  Sha256 trailing;
  digests.entries.assign(archive.entries.size(), Sha256Digest{});
  auto chunk = std::make_unique_for_overwrite<unsigned char[]>(kChunk);
  std::size_t next = 0;  // the entry being hashed
  auto finishDone = [&](std::uint64_t upTo) {
    // Entries that end by upTo (0-byte ones included) are complete.
    while (next < archive.entries.size() && std::min(archive.entries[next].end(), size) <= upTo) {
      digests.entries[next++] = entry.Finish();
    }
  };
  finishDone(16);
  for (std::uint64_t at = 0; at < size;) {
    auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - at));
    std::size_t got = archive.file->ReadAt(at, chunk.get(), want);
    if (got < want) {
      problem = archive.file->error() != 0
                    ? "cannot be read: " + SystemErrorUtf8(archive.file->error())
                    : "cut short: the archive ended at byte " + std::to_string(at + got);
      return false;
    }
    const std::uint64_t to = at + got;
    whole.Update(chunk.get(), got);
    if (wholeOnly) {
      at = to;
      continue;
    }
    // Entries tile [16, dataEnd) in order: a chunk finishes some and goes into one.
    while (next < archive.entries.size()) {
      const ArchiveEntry& current = archive.entries[next];
      std::uint64_t end = std::min(current.end(), size);
      FeedOverlap(entry, chunk.get(), at, to, current.offset, end);
      if (end > to) break;
      finishDone(end);
    }
    FeedOverlap(gap, chunk.get(), at, to, dataEnd, archive.directoryOffset);
    FeedOverlap(trailing, chunk.get(), at, to, trailingStart, size);
    at = to;
  }
  finishDone(size);
  digests.whole = whole.Finish();
  digests.gap = gap.Finish();
  digests.trailing = trailing.Finish();
  return true;
}

}  // namespace mgarc::engine
