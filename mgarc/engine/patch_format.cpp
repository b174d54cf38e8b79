// The patch file's header and tables, encoded and decoded with every number
// checked against the patch's own size.
#include "mgarc/engine/patch_format.h"

#include <cstring>

#include "mgarc/engine/archive_writer.h"
#include "mgarc/engine/deflate.h"

namespace mgarc::engine {

namespace {

void Put(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::uint64_t Get(const unsigned char* bytes, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) value = value << 8 | bytes[i];
  return value;
}

void PutBytes(std::string& out, const unsigned char* bytes, std::size_t size) {
  out.append(reinterpret_cast<const char*>(bytes), size);
}

}  // namespace

std::uint64_t TablesSize(const PatchHeader& header) {
  const std::uint64_t entry = header.version == 1 ? kPatchEntrySize : kIbltCellSize;
  return entry * header.oldEntryCount + std::uint64_t{kPatchPieceSize} * header.pieceCount;
}

std::uint64_t ChunkCount(std::uint64_t storedSize) {
  return storedSize / kMaxCodedSize + (storedSize % kMaxCodedSize != 0 ? 1 : 0);
}

std::vector<StoredChunk> PatchTables::Chunks() const {
  std::vector<StoredChunk> chunks;
  std::uint64_t at = storedOffset();
  for (std::size_t i = 0; i < chunkPackedSizes.size(); ++i) {
    const std::uint64_t from = i * kMaxCodedSize;
    chunks.push_back(
        {from, std::min(kMaxCodedSize, header.storedSize - from), at, chunkPackedSizes[i]});
    at += chunkPackedSizes[i];
  }
  return chunks;
}

std::uint64_t PatchTables::patchSize() const {
  if (!deflated()) return storedOffset() + header.storedSize + kPatchChecksumSize;
  std::uint64_t packed = 0;
  for (std::uint32_t size : chunkPackedSizes) packed += size;
  return storedOffset() + packed + 4 * chunkPackedSizes.size() + kPatchChecksumSize;
}

std::string EncodePatchTables(PatchTables& tables) {
  const PatchHeader& header = tables.header;
  std::string out(kPatchMagic, sizeof kPatchMagic);
  Put(out, kPatchVersion, 4);
  Put(out, tables.oldEntries.cells(), 4);
  Put(out, tables.pieces.size(), 4);
  Put(out, header.flags, 4);
  Put(out, header.oldSize, 8);
  PutBytes(out, header.oldDigest.data(), header.oldDigest.size());
  Put(out, header.newSize, 8);
  PutBytes(out, header.newDigest.data(), header.newDigest.size());
  Put(out, header.storedSize, 8);
  std::string table = tables.oldEntries.Encode();
  std::uint64_t ended[3] = {};  // where the last piece of each kind ended
  for (const PatchPiece& piece : tables.pieces) {
    const auto kind = static_cast<std::uint32_t>(piece.kind);
    Put(table, kind, 4);
    Put(table, 0, 4);
    Put(table, tables.deflated() ? piece.source - ended[kind % 3] : piece.source, 8);
    Put(table, piece.length, 8);
    ended[kind % 3] = piece.source + piece.length;
  }
  if (!tables.deflated()) return out + table;
  const std::string packed =
      Deflate(reinterpret_cast<const unsigned char*>(table.data()), table.size());
  tables.packedSize = packed.size();
  Put(out, packed.size(), 8);
  return out + packed;
}

std::string EncodeChunkSizes(const std::vector<std::uint32_t>& packed) {
  std::string out;
  for (std::uint32_t size : packed) Put(out, size, 4);
  return out;
}

std::optional<std::string> DecodePatchHeader(const unsigned char* bytes, PatchHeader& header) {
  if (std::memcmp(bytes, kPatchMagic, sizeof kPatchMagic) != 0) {
    return "not an mgarc patch";
  }
  header.version = static_cast<std::uint32_t>(Get(bytes + 8, 4));
  if (header.version != 1 && header.version != kPatchVersion) {
    return "a patch of version " + std::to_string(header.version) +
           ", this mgarc reads versions 1 and " + std::to_string(kPatchVersion);
  }
  header.oldEntryCount = static_cast<std::uint32_t>(Get(bytes + 12, 4));
  header.pieceCount = static_cast<std::uint32_t>(Get(bytes + 16, 4));
  header.flags = static_cast<std::uint32_t>(Get(bytes + 20, 4));
  header.oldSize = Get(bytes + 24, 8);
  std::memcpy(header.oldDigest.data(), bytes + 32, 32);
  header.newSize = Get(bytes + 64, 8);
  std::memcpy(header.newDigest.data(), bytes + 72, 32);
  header.storedSize = Get(bytes + 104, 8);
  if ((header.version == 1 && header.flags != 0) || (header.flags & ~kPatchDeflated) != 0) {
    return "damaged: flags " + std::to_string(header.flags) + " that this mgarc does not know";
  }
  if ((header.flags & kPatchDeflated) != 0 && header.pieceCount > kMaxPatchPieces) {
    return "damaged: " + std::to_string(header.pieceCount) + " pieces";
  }
  if (header.version == 1 && header.oldEntryCount > 65535) {
    return "damaged: " + std::to_string(header.oldEntryCount) + " entries";
  }
  if (header.version != 1 && (header.oldEntryCount == 0 || header.oldEntryCount % 4 != 0 ||
                              header.oldEntryCount > kIbltMaxCells)) {
    return "damaged: a table of " + std::to_string(header.oldEntryCount) + " cells";
  }
  return std::nullopt;
}

std::uint64_t DecodePackedSize(const unsigned char* bytes) {
  return Get(bytes, 8);
}

std::optional<std::string> DecodePatchTables(const unsigned char* bytes, PatchTables& tables) {
  const PatchHeader& header = tables.header;
  if (header.version == 1) {
    tables.entries.resize(header.oldEntryCount);
    for (PatchEntry& entry : tables.entries) {
      std::memcpy(entry.nameField.data(), bytes, entry.nameField.size());
      entry.size = static_cast<std::uint32_t>(Get(bytes + 12, 4));
      std::memcpy(entry.digest.data(), bytes + 16, 32);
      bytes += kPatchEntrySize;
    }
  } else {
    tables.oldEntries = EntryIblt::Decode(bytes, header.oldEntryCount);
    bytes += kIbltCellSize * header.oldEntryCount;
  }
  tables.pieces.resize(header.pieceCount);
  std::uint64_t total = 0;
  std::uint64_t stored = 0;     // what the stored pieces so far have taken
  std::uint64_t ended[3] = {};  // where the last piece of each kind ended
  for (PatchPiece& piece : tables.pieces) {
    auto kind = static_cast<std::uint32_t>(Get(bytes, 4));
    piece.source = Get(bytes + 8, 8) + (tables.deflated() ? ended[kind % 3] : 0);
    piece.length = Get(bytes + 16, 8);
    ended[kind % 3] = piece.source + piece.length;
    bytes += kPatchPieceSize;
    std::uint64_t limit = kind == 1 ? header.oldSize : header.storedSize;
    if ((kind != 1 && kind != 2) || piece.source > limit || piece.length > limit - piece.source) {
      return "damaged: a piece lies outside its source";
    }
    piece.kind = static_cast<PieceKind>(kind);
    if (tables.deflated() && piece.kind == PieceKind::kStored) {
      if (piece.source != stored) return "damaged: stored pieces out of order";
      stored += piece.length;
    }
    if (piece.length > header.newSize - total) {
      return "damaged: the pieces make more than " + std::to_string(header.newSize) + " bytes";
    }
    total += piece.length;
  }
  if (total != header.newSize) {
    return "damaged: the pieces make " + std::to_string(total) + " bytes, not " +
           std::to_string(header.newSize);
  }
  if (tables.deflated() && stored != header.storedSize) {
    return "damaged: the pieces take " + std::to_string(stored) + " stored bytes, not " +
           std::to_string(header.storedSize);
  }
  return std::nullopt;
}

std::optional<std::string> InflatePatchTables(const unsigned char* packed, PatchTables& tables,
                                              std::vector<unsigned char>& bytes) {
  const std::uint64_t size = TablesSize(tables.header);
  const std::string damaged =
      "damaged: its tables do not inflate to " + std::to_string(size) + " bytes";
  // Checked before anything is held: no stream inflates to more than this.
  if (size / kMaxInflation > tables.packedSize) return damaged;
  bytes.resize(static_cast<std::size_t>(size));
  if (!Inflate(packed, static_cast<std::size_t>(tables.packedSize), bytes.data(), bytes.size())) {
    return damaged;
  }
  return std::nullopt;
}

bool DecodeChunkSizes(const unsigned char* bytes, PatchTables& tables) {
  const std::uint64_t stored = tables.header.storedSize;
  tables.chunkPackedSizes.clear();
  for (std::uint64_t from = 0; from < stored; from += kMaxCodedSize) {
    const auto packed = static_cast<std::uint32_t>(Get(bytes, 4));
    bytes += 4;
    if (packed == 0 || packed > std::min(kMaxCodedSize, stored - from)) return false;
    tables.chunkPackedSizes.push_back(packed);
  }
  return true;
}

}  // namespace mgarc::engine
