// The patch that `mgarc diff -o` writes and `mgarc apply` reads: what turns
// the bytes of one archive (OLD) into those of another (NEW). Little-endian
// throughout; the manual page documents it for other tools.
//
//   header      112 bytes (PatchHeader)
//   old entries version 2: a table of OLD's entries, 32 bytes a cell
//               (entry_iblt.h); version 1: 48 bytes an entry, the 12-byte
//               name field, size (u32), SHA-256
//   pieces      24 bytes each: kind (u32), 0 (u32), source (u64), length (u64)
//   stored data the bytes of NEW that no entry of OLD holds
//   checksum    SHA-256 of every byte before it
//
// NEW is its pieces one after another: a piece of kind 1 is length bytes of
// OLD from offset source; one of kind 2, length bytes of the stored data from
// offset source.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "archive/archive_format.h"
#include "mgarc/engine/entry_iblt.h"
#include "platform/sha256.h"

namespace mgarc::engine {

inline constexpr char kPatchMagic[8] = {'M', 'G', 'A', 'R', 'C', 'P', 'A', 'T'};
// What diff writes; apply reads version 1 too.
inline constexpr std::uint32_t kPatchVersion = 2;
inline constexpr std::size_t kPatchHeaderSize = 112;
inline constexpr std::size_t kPatchEntrySize = 48;
inline constexpr std::size_t kPatchPieceSize = 24;
inline constexpr std::size_t kPatchChecksumSize = 32;

struct PatchHeader {
  std::uint32_t version = kPatchVersion;
  std::uint32_t oldEntryCount = 0;  // version 1; version 2 holds the table's cells there
  std::uint32_t pieceCount = 0;
  std::uint64_t oldSize = 0;
  Sha256Digest oldDigest{};
  std::uint64_t newSize = 0;
  Sha256Digest newDigest{};
  std::uint64_t storedSize = 0;
};

struct PatchEntry {
  std::array<unsigned char, kNameFieldSize> nameField{};  // as OLD's directory record holds it
  std::uint32_t size = 0;
  Sha256Digest digest{};  // of the entry's bytes that OLD holds
};

enum class PieceKind : std::uint32_t { kOld = 1, kStored = 2 };

struct PatchPiece {
  PieceKind kind = PieceKind::kStored;
  std::uint64_t source = 0;
  std::uint64_t length = 0;
};

// Everything of a patch but its stored data and checksum.
struct PatchTables {
  PatchHeader header;
  std::vector<PatchEntry> entries;  // version 1
  EntryIblt oldEntries;             // version 2
  std::vector<PatchPiece> pieces;

  // Where the stored data begins in the patch file.
  std::uint64_t storedOffset() const {
    const std::uint64_t table =
        header.version == 1 ? kPatchEntrySize * entries.size() : kIbltCellSize * oldEntries.cells();
    return kPatchHeaderSize + table + kPatchPieceSize * pieces.size();
  }
  std::uint64_t patchSize() const {
    return storedOffset() + header.storedSize + kPatchChecksumSize;
  }
};

// The header and the tables as the patch file holds them (version 2).
std::string EncodePatchTables(const PatchTables& tables);

// Reads the header from the first kPatchHeaderSize bytes; the reason when
// they are not the start of a patch this program reads.
std::optional<std::string> DecodePatchHeader(const unsigned char* bytes, PatchHeader& header);
// Reads the tables that follow the header (bytes holds them, from the first
// entry on) and checks that they describe NEW within the patch and OLD: the
// pieces add up to NEW's size, and each lies inside its source; the reason
// when they do not.
std::optional<std::string> DecodePatchTables(const unsigned char* bytes, PatchTables& tables);

}  // namespace mgarc::engine
