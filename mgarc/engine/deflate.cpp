// Deflate and inflate through zlib's one-call interfaces, with sizes checked
// against zlib's 32-bit counters so that no buffer is larger than it can say.
#include "mgarc/engine/deflate.h"

#include <zlib.h>

#include <algorithm>
#include <limits>
#include <string>

namespace mgarc::engine {

namespace {

// The trial: slices of this length from this many places, at a fast level.
constexpr std::size_t kTrialSlice = 4 * 1024;
constexpr std::size_t kTrialSlices = 4;
constexpr int kTrialLevel = 1;

std::string DeflateAt(const unsigned char* bytes, std::size_t size, int level) {
  uLong bound = compressBound(static_cast<uLong>(size));
  std::string packed(bound, '\0');
  if (compress2(reinterpret_cast<Bytef*>(packed.data()), &bound, bytes, static_cast<uLong>(size),
                level) != Z_OK) {
    return {};
  }
  packed.resize(bound);
  return packed;
}

}  // namespace

std::string Deflate(const unsigned char* bytes, std::size_t size) {
  return DeflateAt(bytes, size, Z_DEFAULT_COMPRESSION);
}

bool Inflate(const unsigned char* packed, std::size_t packedSize, unsigned char* out,
             std::size_t size) {
  constexpr std::size_t kLimit = std::numeric_limits<uInt>::max();
  if (packedSize > kLimit || size > kLimit) return false;
  z_stream stream{};
  if (inflateInit(&stream) != Z_OK) return false;
  stream.next_in = const_cast<Bytef*>(packed);
  stream.avail_in = static_cast<uInt>(packedSize);
  stream.next_out = out;
  stream.avail_out = static_cast<uInt>(size);
  const int status = inflate(&stream, Z_FINISH);
  // Exactly: the stream ends where the output is full, with no input left.
  const bool whole = status == Z_STREAM_END && stream.avail_out == 0 && stream.avail_in == 0;
  inflateEnd(&stream);
  return whole;
}

bool WorthDeflating(const unsigned char* bytes, std::size_t size) {
  if (size == 0) return false;
  // Slices spread over the bytes, so that data of several kinds one after
  // another is judged by all of them.
  std::size_t tried = 0;
  std::size_t packed = 0;
  for (std::size_t i = 0; i < kTrialSlices; ++i) {
    const std::size_t from = size / kTrialSlices * i;
    const std::size_t slice = std::min(kTrialSlice, size - from);
    const std::string trial = DeflateAt(bytes + from, slice, kTrialLevel);
    if (trial.empty()) return false;
    tried += slice;
    packed += trial.size();
  }
  // Worth it when the trial packs to less than 19/20 of its size.
  return packed * 20 < tried * 19;
}

}  // namespace mgarc::engine
