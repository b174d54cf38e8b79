// Range matching, as rsync matches a file against an older copy. OLD's range
// is cut into blocks whose weak rolling checksums are kept (8 bytes a block,
// at most kMaxBlocks of them); a window of the same size slides over NEW's
// range, and where its checksum is one of OLD's the bytes are compared, from
// the files, before a match is taken. A match grows forward and backward
// while the bytes agree, so that an insertion costs its own bytes, not a block.
#include "mgarc/engine/range_matching.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace mgarc::engine {
namespace {

constexpr std::uint64_t kMinBlock = 64;
constexpr std::uint64_t kMaxBlocks = 1 << 15;
constexpr std::size_t kChunk = 16 * 1024;

// The bytes at which two ranges first differ, comparing forward from a and b
// (up to length), or backward from them when backward (the bytes before a and b).
std::uint64_t Agreeing(InputFile& oldFile, std::uint64_t a, InputFile& newFile, std::uint64_t b,
                       std::uint64_t length, bool backward) {
  unsigned char x[kChunk];
  unsigned char y[kChunk];
  std::uint64_t agreed = 0;
  while (agreed < length) {
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, length - agreed));
    const std::uint64_t at = backward ? agreed + take : agreed;
    const std::size_t got =
        backward ? oldFile.ReadAt(a - at, x, take) : oldFile.ReadAt(a + at, x, take);
    if (got != take ||
        (backward ? newFile.ReadAt(b - at, y, take) : newFile.ReadAt(b + at, y, take)) != take) {
      return agreed;
    }
    for (std::size_t i = 0; i < take; ++i) {
      const std::size_t k = backward ? take - 1 - i : i;
      if (x[k] != y[k]) return agreed + i;
    }
    agreed += take;
  }
  return agreed;
}

// rsync's weak checksum of a window: two 16-bit sums, rolled a byte at a time.
class RollingSum {
 public:
  explicit RollingSum(std::uint32_t size) : size_(size) {}
  void Start(const unsigned char* bytes) {
    a_ = b_ = 0;
    for (std::uint32_t i = 0; i < size_; ++i) {
      a_ += bytes[i];
      b_ += (size_ - i) * bytes[i];
    }
  }
  void Roll(unsigned char out, unsigned char in) {
    a_ += in - out;
    b_ += a_ - size_ * out;
  }
  std::uint32_t value() const { return (a_ & 0xFFFF) | (b_ << 16); }

 private:
  const std::uint32_t size_;
  std::uint32_t a_ = 0;
  std::uint32_t b_ = 0;
};

// NEW's bytes around a sliding position, read a chunk at a time.
class Window {
 public:
  Window(InputFile& file, std::uint64_t end) : file_(file), end_(end), bytes_(16 * kChunk) {}
  // The bytes [at, at + size), or null where the file cannot give them.
  const unsigned char* At(std::uint64_t at, std::size_t size) {
    if (at < base_ || at + size > base_ + held_) {
      base_ = at;
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(bytes_.size(), end_ - at));
      held_ = file_.ReadAt(at, bytes_.data(), want);
      if (held_ < size) return nullptr;
    }
    return bytes_.data() + (at - base_);
  }

 private:
  InputFile& file_;
  const std::uint64_t end_;
  std::vector<unsigned char> bytes_;
  std::uint64_t base_ = 0;
  std::size_t held_ = 0;
};

// OLD's blocks by weak checksum.
struct Signatures {
  std::uint32_t blockSize = 0;
  std::vector<std::pair<std::uint32_t, std::uint64_t>> blocks;  // checksum, offset; sorted
  std::vector<std::uint64_t> present;  // a bit for each of 2^20 checksums' buckets
  // The checksum's bucket: its bits mixed, for the sum of a window's bytes
  // (the low half) keeps close to its mean.
  static std::uint32_t Bucket(std::uint32_t sum) { return (sum * 0x9E3779B1u) >> 12; }
  bool MayHold(std::uint32_t sum) const {
    const std::uint32_t bucket = Bucket(sum);
    return (present[bucket >> 6] >> (bucket & 63)) & 1;
  }
};

bool Sign(InputFile& file, std::uint64_t from, std::uint64_t to, Signatures& signatures) {
  const std::uint64_t length = to - from;
  signatures.blockSize =
      static_cast<std::uint32_t>(std::max(kMinBlock, (length + kMaxBlocks - 1) / kMaxBlocks));
  signatures.present.assign((1 << 20) / 64, 0);
  RollingSum sum(signatures.blockSize);
  Window window(file, to);
  for (std::uint64_t at = from; at + signatures.blockSize <= to; at += signatures.blockSize) {
    const unsigned char* block = window.At(at, signatures.blockSize);
    if (block == nullptr) return false;
    sum.Start(block);
    signatures.blocks.emplace_back(sum.value(), at);
    const std::uint32_t bucket = Signatures::Bucket(sum.value());
    signatures.present[bucket >> 6] |= std::uint64_t{1} << (bucket & 63);
  }
  std::sort(signatures.blocks.begin(), signatures.blocks.end());
  return true;
}

// Matches in the middle, where the common start and end leave off.
void MatchBlocks(InputFile& oldFile, std::uint64_t oldFrom, std::uint64_t oldTo, InputFile& newFile,
                 std::uint64_t newFrom, std::uint64_t newTo, std::vector<RangeMatch>& matches) {
  Signatures signatures;
  if (oldTo - oldFrom < kMinBlock || !Sign(oldFile, oldFrom, oldTo, signatures)) return;
  const std::uint32_t size = signatures.blockSize;
  std::vector<unsigned char> candidate(size);
  Window window(newFile, newTo);
  RollingSum sum(size);
  std::uint64_t unmatched = newFrom;  // where the bytes no match covers begin
  bool started = false;
  for (std::uint64_t at = newFrom; at + size <= newTo;) {
    // The window, and the bytes after it that the next steps roll in.
    const std::size_t ahead =
        static_cast<std::size_t>(std::min<std::uint64_t>(newTo - at - size, 8 * kChunk));
    const unsigned char* bytes = window.At(at, size + ahead);
    if (bytes == nullptr) return;
    if (!started) {
      sum.Start(bytes);
      started = true;
    }
    // Rolled in a tight loop over the bytes held, to the first position
    // whose checksum may be one of OLD's.
    std::size_t step = 0;
    while (!signatures.MayHold(sum.value()) && step < ahead) {
      sum.Roll(bytes[step], bytes[step + size]);
      ++step;
    }
    at += step;
    bytes += step;
    const bool more = at + size < newTo;
    std::uint64_t found = 0;
    bool matched = false;
    if (signatures.MayHold(sum.value())) {
      auto range = std::equal_range(signatures.blocks.begin(), signatures.blocks.end(),
                                    std::make_pair(sum.value(), std::uint64_t{0}),
                                    [](const auto& x, const auto& y) { return x.first < y.first; });
      for (auto it = range.first; it != range.second && !matched; ++it) {
        matched = oldFile.ReadAt(it->second, candidate.data(), size) == size &&
                  std::memcmp(candidate.data(), bytes, size) == 0;
        found = it->second;
      }
    }
    if (!matched) {
      if (!more) break;
      if (step < ahead) {
        sum.Roll(bytes[0], bytes[size]);
        ++at;
      }
      continue;
    }
    // Grown backward into the bytes not matched yet, and forward to where they differ.
    const std::uint64_t back =
        Agreeing(oldFile, found, newFile, at, std::min(at - unmatched, found - oldFrom), true);
    const std::uint64_t forward =
        size + Agreeing(oldFile, found + size, newFile, at + size,
                        std::min(newTo - at - size, oldTo - found - size), false);
    matches.push_back({at - back, found - back, back + forward});
    at += forward;
    unmatched = at;
    started = false;
  }
}

}  // namespace

std::vector<RangeMatch> MatchRange(InputFile& oldFile, std::uint64_t oldFrom, std::uint64_t oldTo,
                                   InputFile& newFile, std::uint64_t newFrom, std::uint64_t newTo) {
  std::vector<RangeMatch> matches;
  const std::uint64_t shorter = std::min(oldTo - oldFrom, newTo - newFrom);
  const std::uint64_t start = Agreeing(oldFile, oldFrom, newFile, newFrom, shorter, false);
  const std::uint64_t end = Agreeing(oldFile, oldTo, newFile, newTo, shorter - start, true);
  if (start > 0) matches.push_back({newFrom, oldFrom, start});
  MatchBlocks(oldFile, oldFrom + start, oldTo - end, newFile, newFrom + start, newTo - end,
              matches);
  if (end > 0) matches.push_back({newTo - end, oldTo - end, end});
  return matches;
}

}  // namespace mgarc::engine
