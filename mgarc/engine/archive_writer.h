// The one way mgarc writes a new archive, or a patch: a plan of pieces, each
// from a file on disk, a range of an existing file or literal bytes, written
// at offsets fixed beforehand into a file beside the target by workers, and
// put in the target's place only when complete.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "mgarc/engine/ordered_results.h"
#include "platform/file_replacement.h"
#include "platform/file_stream.h"

namespace mgarc::engine {

// One piece of a new file, made by one of its three kinds.
struct WritePiece {
  enum class From { kFile, kRange, kLiteral };

  // size bytes of a file on disk, read whole: it must still hold size bytes.
  static WritePiece OfFile(std::uint64_t at, std::uint64_t size, std::filesystem::path file) {
    return {From::kFile, at, size, std::move(file), 0, 0, {}};
  }
  // size bytes of WritePlan::sources[source], from offset on.
  static WritePiece OfRange(std::uint64_t at, std::uint64_t size, std::size_t source,
                            std::uint64_t offset) {
    return {From::kRange, at, size, {}, source, offset, {}};
  }
  // The bytes themselves.
  static WritePiece OfLiteral(std::uint64_t at, std::string bytes) {
    const std::uint64_t size = bytes.size();
    return {From::kLiteral, at, size, {}, 0, 0, std::move(bytes)};
  }

  From from = From::kLiteral;
  std::uint64_t at = 0;  // where in the new file
  std::uint64_t size = 0;
  std::filesystem::path file;  // kFile
  std::size_t source = 0;      // kRange
  std::uint64_t offset = 0;    // kRange: where in the source
  std::string literal;         // kLiteral
};

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

// What the workers of one plan share: each takes the next piece of work (a
// large piece, or neighbouring small files read into one buffer and written
// in one call) until none is left.
class PlanWriter {
 public:
  PlanWriter(const WritePlan& plan, FileReplacement& replacement, OrderedResults& results);
  // The number of items: the pieces that are not literals.
  std::size_t items() const { return items_.size(); }
  // The literal pieces, from the calling thread; false with error() set.
  bool WriteLiterals();
  // One worker's share (run by RunWorkers).
  void Work();
  int error() const { return error_; }

 private:
  struct Source;
  ItemResult WriteFile(const WritePiece& piece, OutputFile& out, char* buffer);
  ItemResult WriteRange(const WritePiece& piece, std::vector<Source>& sources, OutputFile& out,
                        char* buffer);
  void WriteSmallFiles(std::size_t first, std::size_t end, OutputFile& out, char* buffer);

  const WritePlan& plan_;
  FileReplacement& replacement_;
  OrderedResults& results_;
  std::vector<std::size_t> items_;  // the pieces that are items, in order
  std::vector<std::size_t> work_;   // where each unit of work starts in items_; then items_.size()
  std::atomic<std::size_t> next_{0};
  int error_ = 0;
};

// Carries out a plan with workers, telling its items through report, runs
// check (when given; false stops), then puts the file in place of target.
// False with problem set when anything failed ("not written" when an item's
// failure was told already) or the observer stopped it ("stopped", and
// *stopped set): nothing is then left and target is as it was.
bool WritePlanned(const WritePlan& plan, const std::filesystem::path& target,
                  const ItemReport& report, unsigned workers,
                  const std::function<bool(std::string& problem)>& check, std::string& problem,
                  bool* stopped = nullptr);

}  // namespace mgarc::engine
