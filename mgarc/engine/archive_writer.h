// The one way mgarc writes a new archive, or a patch: a plan of pieces, each
// from a file on disk, a range of an existing file or literal bytes, written
// at offsets fixed beforehand into a file beside the target by workers, and
// put in the target's place only when complete.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "mgarc/engine/ordered_results.h"
#include "platform/file_stream.h"

namespace mgarc::engine {

// One piece of a new file, made by one of its three kinds.
struct WritePiece {
  enum class From { kFile, kRange, kLiteral };
  // How a range's bytes become the piece's: as they are, or deflated (a
  // patch's stored chunk made) or inflated (one applied).
  enum class Coding { kNone, kDeflate, kInflate };

  // size bytes of a file on disk, read whole: it must still hold size bytes.
  // The path is not copied (a plan of many small files stays small).
  static WritePiece OfFile(std::uint64_t at, std::uint64_t size, const NativePath* file) {
    return {From::kFile, at, size, file, 0, 0, {}};
  }
  // size bytes of WritePlan::sources[source], from offset on.
  static WritePiece OfRange(std::uint64_t at, std::uint64_t size, std::size_t source,
                            std::uint64_t offset) {
    return {From::kRange, at, size, {}, source, offset, {}};
  }
  // A run of a source's bytes.
  struct Span {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
  };
  // size bytes, from skip on, of the decodedSize bytes that the spans of
  // WritePlan::sources[source], one after another, deflate or inflate to.
  // Spans and decodedSize are at most kMaxCodedSize bytes.
  static WritePiece OfCoded(std::uint64_t at, std::uint64_t size, std::size_t source,
                            std::vector<Span> spans, Coding coding, std::uint64_t decodedSize,
                            std::uint64_t skip = 0) {
    const std::uint64_t offset = spans.empty() ? 0 : spans.front().offset;
    return {From::kRange,     at,          size, {}, source, offset, {}, coding,
            std::move(spans), decodedSize, skip};
  }
  // The bytes themselves.
  static WritePiece OfLiteral(std::uint64_t at, std::string bytes) {
    const std::uint64_t size = bytes.size();
    return {From::kLiteral, at, size, {}, 0, 0, std::move(bytes)};
  }

  From from = From::kLiteral;
  std::uint64_t at = 0;  // where in the new file
  std::uint64_t size = 0;
  const NativePath* file = nullptr;  // kFile
  std::size_t source = 0;            // kRange
  std::uint64_t offset = 0;          // kRange: where in the source
  std::string literal;               // kLiteral
  Coding coding = Coding::kNone;     // kRange; when coded:
  std::vector<Span> spans{};
  std::uint64_t decodedSize = 0;
  std::uint64_t skip = 0;
};

// The most bytes a coded piece reads or decodes to.
inline constexpr std::uint64_t kMaxCodedSize = 1 << 20;

// The last coded spans decoded, kept: the pieces that take their parts one
// after another decode them once.
struct DecodedSpans {
  std::vector<unsigned char> read;
  std::vector<unsigned char> bytes;  // decoded
  std::size_t source = static_cast<std::size_t>(-1);
  std::uint64_t offset = 0;
};

// Reads length bytes, from skip on, of a range piece as the writer writes it
// (decoded when coded) from source, its source's file, giving them to
// feed(const unsigned char*, size_t) in blocks; the reason when they cannot
// be read or decoded.
std::optional<std::string> ReadRangePiece(
    const WritePiece& piece, InputFile& source, std::uint64_t skip, std::uint64_t length,
    const std::function<bool(const unsigned char*, std::size_t)>& feed, DecodedSpans& decoded);

// A file that ranges come from: one put in its place since the plan was made
// is refused.
struct WriteSource {
  std::filesystem::path path;
  FileIdentity identity;
};

struct WritePlan {
  std::vector<WriteSource> sources;
  // Each piece but the literals is one item of the results, in order; the
  // literals (header, directory, a patch's tables) are written first.
  std::vector<WritePiece> pieces;
};

// How a planned write ended: a problem about the target (nothing was then
// put in its place), or stopped by the observer (the same), or neither: the
// new file stands in the target's place.
struct WriteResult {
  std::optional<Problem> problem;
  bool stopped = false;
};

// Carries out a plan with workers, reporting its items through report, runs
// check (when given: a reason not to go on), then puts the file in place of
// target (UTF-8, as given: the subject of its problems). An item's failure is
// reported as it happens; the result's problem is then "not written".
WriteResult WritePlanned(const WritePlan& plan, const std::string& target, const ItemReport& report,
                         unsigned workers,
                         const std::function<std::optional<std::string>()>& check = {});

}  // namespace mgarc::engine
