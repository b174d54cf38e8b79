// The patch that `mgarc diff -o` writes and `mgarc apply` reads: what turns
// the bytes of one archive (OLD) into those of another (NEW). Little-endian
// throughout; the manual page documents it for other tools.
//
//   header      112 bytes (PatchHeader); flags bit 0: deflated
//   tables      version 2: a table of OLD's entries, 32 bytes a cell
//               (entry_iblt.h); version 1: 48 bytes an entry, the 12-byte
//               name field, size (u32), SHA-256; then the pieces, 24 bytes
//               each: kind (u32), 0 (u32), source (u64), length (u64).
//               Deflated: the tables' packed size (u64), then the tables as
//               one zlib stream
//   stored data the bytes of NEW that OLD does not hold. Deflated: cut
//               every kMaxCodedSize bytes into chunks, each a zlib stream, or
//               its bytes as they are when that is no smaller; then each
//               chunk's packed size (u32)
//   checksum    SHA-256 of every byte before it
//
// NEW is its pieces one after another: a piece of kind 1 is length bytes of
// OLD from offset source; one of kind 2, length bytes of the stored data from
// offset source. In a deflated patch the stored pieces take the stored data
// in order, and each piece's source is written as its difference (modulo
// 2^64) from where the previous piece of its kind ended: small numbers, which
// deflate well.
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
inline constexpr std::uint32_t kPatchDeflated = 1;  // the header's flags
// The most pieces a deflated patch may have: its tables are held in memory.
inline constexpr std::uint32_t kMaxPatchPieces = 1 << 22;

struct PatchHeader {
  std::uint32_t version = kPatchVersion;
  std::uint32_t oldEntryCount = 0;  // version 1; version 2 holds the table's cells there
  std::uint32_t pieceCount = 0;
  std::uint32_t flags = 0;
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

// One chunk of a deflated patch's stored data.
struct StoredChunk {
  std::uint64_t from = 0;  // where in the stored data
  std::uint64_t size = 0;
  std::uint64_t at = 0;  // where in the patch file
  std::uint32_t packed = 0;
  bool deflated() const { return packed < size; }
};

// Everything of a patch but its stored data and checksum.
struct PatchTables {
  PatchHeader header;
  std::vector<PatchEntry> entries;  // version 1
  EntryIblt oldEntries;             // version 2
  std::vector<PatchPiece> pieces;
  std::uint64_t packedSize = 0;                 // deflated: the tables' zlib stream
  std::vector<std::uint32_t> chunkPackedSizes;  // deflated: each chunk's, in order

  bool deflated() const { return (header.flags & kPatchDeflated) != 0; }
  // The tables' bytes as they are before any deflating.
  std::uint64_t tablesSize() const {
    const std::uint64_t table =
        header.version == 1 ? kPatchEntrySize * entries.size() : kIbltCellSize * oldEntries.cells();
    return table + kPatchPieceSize * pieces.size();
  }
  // Where the stored data begins in the patch file.
  std::uint64_t storedOffset() const {
    return kPatchHeaderSize + (deflated() ? 8 + packedSize : tablesSize());
  }
  // The deflated stored data's chunks, from chunkPackedSizes.
  std::vector<StoredChunk> Chunks() const;
  std::uint64_t patchSize() const;
};

// The tables' bytes, before any deflating, as the header counts them.
std::uint64_t TablesSize(const PatchHeader& header);

// The number of chunks that a deflated patch's stored data is cut into.
std::uint64_t ChunkCount(std::uint64_t storedSize);

// The header and the tables as the patch file holds them (version 2), the
// tables deflated when the header's flags say so (packedSize is set then).
std::string EncodePatchTables(PatchTables& tables);
// The chunks' packed sizes as the patch file holds them after the stored data.
std::string EncodeChunkSizes(const std::vector<std::uint32_t>& packed);

// Reads the header from the first kPatchHeaderSize bytes; the reason when
// they are not the start of a patch this program reads.
std::optional<std::string> DecodePatchHeader(const unsigned char* bytes, PatchHeader& header);
// A deflated patch's packed tables size, from the 8 bytes after the header.
std::uint64_t DecodePackedSize(const unsigned char* bytes);
// Reads the tables that follow the header (bytes holds them, from the first
// entry on) and checks that they describe NEW within the patch and OLD: the
// pieces add up to NEW's size, and each lies inside its source; the reason
// when they do not.
std::optional<std::string> DecodePatchTables(const unsigned char* bytes, PatchTables& tables);
// Inflates a deflated patch's tables (packed, of tables.packedSize bytes)
// into the tablesSize() bytes that the header makes them; the reason when
// they are not that.
std::optional<std::string> InflatePatchTables(const unsigned char* packed, PatchTables& tables,
                                              std::vector<unsigned char>& bytes);
// Reads the chunks' packed sizes (bytes holds 4 for each of the
// ChunkCount(storedSize)); false when one is 0 or larger than its chunk.
bool DecodeChunkSizes(const unsigned char* bytes, PatchTables& tables);

}  // namespace mgarc::engine
