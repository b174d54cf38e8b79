#include "mgarc/engine/block_reading.h"

#include "platform/arguments.h"

namespace mgarc::engine {

bool SameBytes(InputFile& a, std::uint64_t aFrom, InputFile& b, std::uint64_t bFrom,
               std::uint64_t length) {
  constexpr std::size_t kBlockSize = 128 * 1024;
  auto mine = std::make_unique_for_overwrite<unsigned char[]>(kBlockSize);
  std::uint64_t at = 0;
  const std::uint64_t read = ReadInBlocks(a, aFrom, length, kBlockSize,
                                          [&](const unsigned char* theirs, std::size_t size) {
                                            if (b.ReadAt(bFrom + at, mine.get(), size) != size ||
                                                !std::equal(theirs, theirs + size, mine.get())) {
                                              return false;
                                            }
                                            at += size;
                                            return true;
                                          });
  return read == length && at == length;
}

std::optional<std::string> ReadWholeStream(const std::string& path, std::string& text) {
  InputFile file;
  bool opened = true;
  if (path == "-") {
    file.UseStandardInput();
  } else {
    opened = file.OpenStream(PathFromUtf8(path));
  }
  constexpr std::size_t kBlockSize = 64 * 1024;
  auto block = std::make_unique<char[]>(kBlockSize);
  for (std::size_t got; opened && (got = file.Read(block.get(), kBlockSize)) > 0;) {
    text.append(block.get(), got);
  }
  if (!opened || file.error() != 0) return SystemErrorUtf8(file.error());
  return std::nullopt;
}

}  // namespace mgarc::engine
