// The table has four parts; each key goes into one cell of each, chosen by
// its SHA-256, which also gives its check. Subtracting the other archive's
// table leaves the keys not shared; a cell holding one of them alone (count
// +1 or -1, its check that of its keys) is read and taken out of its other
// cells, until none is left (all read) or none can be read (too many).
#include "mgarc/engine/entry_iblt.h"

#include <algorithm>
#include <cstring>

namespace mgarc::engine {
namespace {

constexpr std::size_t kParts = 4;

std::uint32_t Word(const unsigned char* bytes) {
  return bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}

void PutWord(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

struct Placement {
  std::array<std::size_t, kParts> cells;
  std::uint32_t check;
};

Placement Place(const IbltKey& key, std::size_t cells) {
  const std::size_t partCells = cells / kParts;
  const Sha256Digest hash = Sha256Of(key.data(), key.size());
  Placement placement{};
  for (std::size_t part = 0; part < kParts; ++part) {
    placement.cells[part] = part * partCells + Word(hash.data() + 4 * part) % partCells;
  }
  placement.check = Word(hash.data() + 4 * kParts);
  return placement;
}

}  // namespace

IbltKey EntryKey(const std::array<unsigned char, kNameFieldSize>& nameField, std::uint32_t size,
                 const Sha256Digest& digest) {
  IbltKey key{};
  std::memcpy(key.data(), nameField.data(), kNameFieldSize);
  for (int i = 0; i < 4; ++i) key[kNameFieldSize + i] = static_cast<unsigned char>(size >> (8 * i));
  std::memcpy(key.data() + kNameFieldSize + 4, digest.data(), 8);
  return key;
}

std::array<unsigned char, kNameFieldSize> KeyNameField(const IbltKey& key) {
  std::array<unsigned char, kNameFieldSize> field{};
  std::memcpy(field.data(), key.data(), kNameFieldSize);
  return field;
}

std::uint32_t KeySize(const IbltKey& key) {
  return Word(key.data() + kNameFieldSize);
}

std::size_t EntryIblt::CellsFor(std::size_t entries) {
  return kParts * std::min<std::size_t>(std::max<std::size_t>(entries, 1), kIbltMaxCells / kParts);
}

void EntryIblt::Insert(const IbltKey& key, std::int32_t count) {
  const Placement placement = Place(key, cells_.size());
  for (std::size_t index : placement.cells) {
    Cell& cell = cells_[index];
    cell.count += count;
    for (std::size_t i = 0; i < kIbltKeySize; ++i) cell.keys[i] ^= key[i];
    cell.checks ^= placement.check;
  }
}

std::string EntryIblt::Encode() const {
  std::string out;
  for (const Cell& cell : cells_) {
    PutWord(out, static_cast<std::uint32_t>(cell.count));
    out.append(reinterpret_cast<const char*>(cell.keys.data()), cell.keys.size());
    PutWord(out, cell.checks);
  }
  return out;
}

EntryIblt EntryIblt::Decode(const unsigned char* bytes, std::size_t cells) {
  EntryIblt table(cells);
  for (Cell& cell : table.cells_) {
    cell.count = static_cast<std::int32_t>(Word(bytes));
    std::memcpy(cell.keys.data(), bytes + 4, kIbltKeySize);
    cell.checks = Word(bytes + 4 + kIbltKeySize);
    bytes += kIbltCellSize;
  }
  return table;
}

bool EntryIblt::Peel(Difference& difference) {
  for (bool found = true; found;) {
    found = false;
    for (const Cell& cell : cells_) {
      if ((cell.count != 1 && cell.count != -1) || Place(cell.keys, cells()).check != cell.checks) {
        continue;
      }
      const IbltKey key = cell.keys;
      const std::int32_t count = cell.count;
      (count == 1 ? difference.onlyHere : difference.onlyThere).push_back(key);
      Insert(key, -count);
      found = true;
    }
  }
  for (const Cell& cell : cells_) {
    if (cell.count != 0 || cell.checks != 0 || cell.keys != IbltKey{}) return false;
  }
  return true;
}

std::optional<EntryIblt::Difference> EntryIblt::Minus(const EntryIblt& other,
                                                      const std::vector<IbltKey>& otherKeys) const {
  if (other.cells() != cells()) return std::nullopt;
  EntryIblt left = *this;
  for (std::size_t c = 0; c < cells(); ++c) {
    Cell& cell = left.cells_[c];
    cell.count -= other.cells_[c].count;
    for (std::size_t i = 0; i < kIbltKeySize; ++i) cell.keys[i] ^= other.cells_[c].keys[i];
    cell.checks ^= other.cells_[c].checks;
  }
  Difference difference;
  if (left.Peel(difference)) return difference;
  // Stuck where a few keys share all their cells. The other side's keys are
  // known: each in turn is taken out as if read; where that frees the rest,
  // a guess that was wrong comes back as this side's key, and cancels.
  for (const IbltKey& key : otherKeys) {
    EntryIblt trial = left;
    Difference guess = difference;
    trial.Insert(key, 1);
    guess.onlyThere.push_back(key);
    if (!trial.Peel(guess)) continue;
    for (auto here = guess.onlyHere.begin(); here != guess.onlyHere.end();) {
      auto there = std::find(guess.onlyThere.begin(), guess.onlyThere.end(), *here);
      if (there == guess.onlyThere.end()) {
        ++here;
        continue;
      }
      guess.onlyThere.erase(there);
      here = guess.onlyHere.erase(here);
    }
    return guess;
  }
  return std::nullopt;
}

}  // namespace mgarc::engine
