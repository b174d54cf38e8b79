// An invertible Bloom lookup table of an archive's entries: a table of fixed
// size from which the entries two archives do not share can be read back,
// when there are few of them. A patch keeps OLD's, so that apply can name the
// entries of a wrong archive without a table that grows with the archive.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "platform/sha256.h"

namespace mgarc::engine {

// An entry as the table knows it: its 12-byte name field, its size, and the
// first 8 bytes of the SHA-256 of its bytes.
inline constexpr std::size_t kIbltKeySize = kNameFieldSize + 4 + 8;
using IbltKey = std::array<unsigned char, kIbltKeySize>;

IbltKey EntryKey(const std::array<unsigned char, kNameFieldSize>& nameField, std::uint32_t size,
                 const Sha256Digest& digest);
// The name field of a key, and its size.
std::array<unsigned char, kNameFieldSize> KeyNameField(const IbltKey& key);
std::uint32_t KeySize(const IbltKey& key);

// Cells as a patch holds them: a count (4 bytes, signed), the keys'
// exclusive or, and that of their checks (4 bytes). A table has four parts
// of equal size, at most kIbltMaxCells cells in all: 1408 bytes.
inline constexpr std::size_t kIbltCellSize = 4 + kIbltKeySize + 4;
inline constexpr std::size_t kIbltMaxCells = 44;

class EntryIblt {
 public:
  // The cells for an archive of so many entries: four an entry up to 44, as
  // a wrong archive differs in at most as many entries as it has.
  static std::size_t CellsFor(std::size_t entries);
  // cells: a multiple of 4, up to kIbltMaxCells.
  explicit EntryIblt(std::size_t cells = kIbltMaxCells) : cells_(cells) {}
  std::size_t cells() const { return cells_.size(); }
  void Add(const IbltKey& key) { Insert(key, 1); }
  std::string Encode() const;
  // From cells × kIbltCellSize bytes.
  static EntryIblt Decode(const unsigned char* bytes, std::size_t cells);

  struct Difference {
    std::vector<IbltKey> onlyHere;   // in this table, not in the other
    std::vector<IbltKey> onlyThere;  // in the other, not in this one
  };
  // What this table holds and other (of as many cells) does not, and the
  // reverse; none when more of them differ than the table can tell (about
  // half its cells, fewer now and then). otherKeys, the keys other was made of, help
  // where a few keys share all their cells.
  std::optional<Difference> Minus(const EntryIblt& other,
                                  const std::vector<IbltKey>& otherKeys = {}) const;

 private:
  struct Cell {
    std::int32_t count = 0;
    IbltKey keys{};
    std::uint32_t checks = 0;
  };
  void Insert(const IbltKey& key, std::int32_t count);
  // Reads out the cells that hold one key alone until none is left; true when
  // the table is then empty.
  bool Peel(Difference& difference);
  std::vector<Cell> cells_;
};

}  // namespace mgarc::engine
