// The patch file's header and tables, encoded and decoded with every number
// checked against the patch's own size.
#include "mgarc/engine/patch_format.h"

#include <cstring>

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

std::string EncodePatchTables(const PatchTables& tables) {
  const PatchHeader& header = tables.header;
  std::string out(kPatchMagic, sizeof kPatchMagic);
  Put(out, kPatchVersion, 4);
  Put(out, tables.oldEntries.cells(), 4);
  Put(out, tables.pieces.size(), 4);
  Put(out, 0, 4);
  Put(out, header.oldSize, 8);
  PutBytes(out, header.oldDigest.data(), header.oldDigest.size());
  Put(out, header.newSize, 8);
  PutBytes(out, header.newDigest.data(), header.newDigest.size());
  Put(out, header.storedSize, 8);
  out += tables.oldEntries.Encode();
  for (const PatchPiece& piece : tables.pieces) {
    Put(out, static_cast<std::uint32_t>(piece.kind), 4);
    Put(out, 0, 4);
    Put(out, piece.source, 8);
    Put(out, piece.length, 8);
  }
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
  header.oldSize = Get(bytes + 24, 8);
  std::memcpy(header.oldDigest.data(), bytes + 32, 32);
  header.newSize = Get(bytes + 64, 8);
  std::memcpy(header.newDigest.data(), bytes + 72, 32);
  header.storedSize = Get(bytes + 104, 8);
  if (header.version == 1 && header.oldEntryCount > 65535) {
    return "damaged: " + std::to_string(header.oldEntryCount) + " entries";
  }
  if (header.version != 1 && (header.oldEntryCount == 0 || header.oldEntryCount % 4 != 0 ||
                              header.oldEntryCount > kIbltMaxCells)) {
    return "damaged: a table of " + std::to_string(header.oldEntryCount) + " cells";
  }
  return std::nullopt;
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
  for (PatchPiece& piece : tables.pieces) {
    auto kind = static_cast<std::uint32_t>(Get(bytes, 4));
    piece.source = Get(bytes + 8, 8);
    piece.length = Get(bytes + 16, 8);
    bytes += kPatchPieceSize;
    std::uint64_t limit = kind == 1 ? header.oldSize : header.storedSize;
    if ((kind != 1 && kind != 2) || piece.source > limit || piece.length > limit - piece.source) {
      return "damaged: a piece lies outside its source";
    }
    piece.kind = static_cast<PieceKind>(kind);
    if (piece.length > header.newSize - total) {
      return "damaged: the pieces make more than " + std::to_string(header.newSize) + " bytes";
    }
    total += piece.length;
  }
  if (total != header.newSize) {
    return "damaged: the pieces make " + std::to_string(total) + " bytes, not " +
           std::to_string(header.newSize);
  }
  return std::nullopt;
}

}  // namespace mgarc::engine
