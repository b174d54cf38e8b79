// zlib's deflate, as patches use it: whole buffers in, whole buffers out,
// the same bytes on every host for the same zlib.
#pragma once

#include <cstddef>
#include <string>

namespace mgarc::engine {

// size bytes as a zlib stream, at zlib's default level.
std::string Deflate(const unsigned char* bytes, std::size_t size);

// Inflates a zlib stream of packedSize bytes into exactly size bytes at out;
// false when it is no such stream (damaged, or of another size).
bool Inflate(const unsigned char* packed, std::size_t packedSize, unsigned char* out,
             std::size_t size);

// Whether deflating size bytes is likely to save anything: a quick trial on
// a few slices of them, so that random or already compressed data costs no
// deflate.
bool WorthDeflating(const unsigned char* bytes, std::size_t size);

// The most that deflate can shrink data: a stream of n bytes inflates to
// at most n times this (and a few bytes), which bounds what a patch may claim.
inline constexpr std::size_t kMaxInflation = 1032;

}  // namespace mgarc::engine
