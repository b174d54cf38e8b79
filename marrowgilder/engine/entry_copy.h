// Writing one entry's bytes into a file of its own.
#pragma once

#include <cstddef>
#include <cstdint>

namespace marrowgilder::engine {

inline constexpr std::size_t kTransferSize = 200000;

enum CopyResult : int {
  kCopyDone = 0,
  kCopyArchiveNotOpened = -1,
  kCopyOutputNotCreated = -2,
  kCopyCutShort = -3,  // the archive ends, or 2^32 is reached, before the entry does
  kCopyWriteFailed = -4,
  kCopyOutputIsArchive = -5,
  kCopyReadFailed = -6,
  kCopyNoBuffer = -100,
};

// Copies the archive's bytes from start up to end into a new file at
// outputPath: by the system where it can copy between files, otherwise
// through one buffer of at most 200000 bytes. An end below start is a span
// whose sum passed 2^32: the bytes up to 2^32 are copied and it is cut short.
// Every failure but the buffer's is reported on standard error, naming the
// output path; the buffer's is a message box.
int CopyByteRange(std::uint32_t start, std::uint32_t end, const char* archivePath,
                  const char* outputPath);

}  // namespace marrowgilder::engine
