// The one layout of a new archive, for create and update.
#include "mgarc/engine/archive_layout.h"

#include <algorithm>
#include <string>

namespace mgarc::engine {

WritePlan LayOutArchive(const std::array<unsigned char, kFirstEntryOffset>& header,
                        const std::vector<NewEntry>& entries, std::vector<WriteSource> sources) {
  WritePlan plan;
  plan.sources = std::move(sources);
  std::uint64_t at = kFirstEntryOffset;
  std::string directory(kRecordSize * entries.size(), '\0');
  plan.pieces.reserve(entries.size() + 2);
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const NewEntry& entry = entries[i];
    plan.pieces.push_back(entry.file != nullptr
                              ? WritePiece::OfFile(at, entry.size, entry.file)
                              : WritePiece::OfRange(at, entry.size, 0, entry.offset));
    const std::string stored(entry.stored);
    EncodeDirectoryRecord(stored.c_str(), static_cast<std::uint32_t>(entry.size),
                          reinterpret_cast<unsigned char*>(&directory[kRecordSize * i]));
    at += entry.size;
  }
  unsigned char fields[kFirstEntryOffset];
  const char noMagic[kMagicSize + 1] = {};
  EncodeArchiveHeader(noMagic, static_cast<std::uint16_t>(entries.size()),
                      static_cast<std::uint32_t>(at), fields);
  std::string bytes(header.begin(), header.end());
  // The count and the offset are new; the magic and the reserved bytes stay.
  std::copy(fields + kEntryCountAt, fields + kHeaderSize, bytes.begin() + kEntryCountAt);
  plan.pieces.push_back(WritePiece::OfLiteral(0, std::move(bytes)));
  plan.pieces.push_back(WritePiece::OfLiteral(at, std::move(directory)));
  return plan;
}

}  // namespace mgarc::engine
