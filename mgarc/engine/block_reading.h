// The one loop that reads a range of a file in blocks, for the operations
// that hash, compare, copy or check bytes without holding them all.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/file_stream.h"

namespace mgarc::engine {

// Reads length bytes of file from position from on, in blocks of up to
// blockSize bytes, giving each block to use(const unsigned char*, size_t);
// use returns false to stop. Returns how many bytes were read: fewer than
// length when use stopped, or when the file ended or failed there
// (file.error() says which; ShortReadReason words it).
template <class Use>
std::uint64_t ReadInBlocks(InputFile& file, std::uint64_t from, std::uint64_t length,
                           std::size_t blockSize, Use&& use) {
  auto block = std::make_unique_for_overwrite<unsigned char[]>(blockSize);
  std::uint64_t done = 0;
  while (done < length) {
    auto want = static_cast<std::size_t>(std::min<std::uint64_t>(blockSize, length - done));
    std::size_t got = file.ReadAt(from + done, block.get(), want);
    if (got > 0 && !use(static_cast<const unsigned char*>(block.get()), got)) return done;
    done += got;
    if (got < want) break;
  }
  return done;
}

// True when length bytes of a from aFrom on equal those of b from bFrom on;
// false too when either cannot be read that far.
bool SameBytes(InputFile& a, std::uint64_t aFrom, InputFile& b, std::uint64_t bFrom,
               std::uint64_t length);

// Reads the whole of a file, or of standard input for "-", as a stream: a
// pipe has no size to go by. The system's reason when it cannot.
std::optional<std::string> ReadWholeStream(const std::string& path, std::string& text);

}  // namespace mgarc::engine
