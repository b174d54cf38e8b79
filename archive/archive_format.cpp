#include "archive/archive_format.h"

#include <cstring>

#include "platform/file_stream.h"

std::uint16_t ReadLe16(const unsigned char* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | (bytes[1] << 8));
}

std::uint32_t ReadLe32(const unsigned char* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | (static_cast<std::uint32_t>(bytes[1]) << 8) |
         (static_cast<std::uint32_t>(bytes[2]) << 16) |
         (static_cast<std::uint32_t>(bytes[3]) << 24);
}

HeaderCheck CheckMagic(const unsigned char* firstFive, const char* expectedMagic) {
  char tested[6] = {};
  std::memcpy(tested, firstFive, 5);
  char familyMark[4] = {};
  std::memcpy(familyMark, expectedMagic, 3);
  if (std::strstr(tested, familyMark) == nullptr) return HeaderCheck::kFamilyMarkMissing;
  if (std::strcmp(tested, expectedMagic) != 0) return HeaderCheck::kMagicDiffers;
  return HeaderCheck::kOk;
}

ArchiveHeader DecodeArchiveHeader(const unsigned char* bytes) {
  ArchiveHeader header{};
  std::memcpy(header.magic, bytes, kMagicSize);
  header.entryCount = ReadLe16(bytes + kEntryCountAt);
  header.directoryOffset = ReadLe32(bytes + kDirectoryOffsetAt);
  return header;
}

DirectoryRecord DecodeDirectoryRecord(const unsigned char* record, std::uint32_t start) {
  DirectoryRecord decoded{};
  std::memcpy(decoded.entry.name, record, kNameFieldSize);
  decoded.entry.size = ReadLe32(record + kNameFieldSize);
  decoded.span.start = start;
  decoded.span.end = start + decoded.entry.size;
  return decoded;
}

namespace {

void PutLe(unsigned char* out, std::uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out[i] = static_cast<unsigned char>(value >> (8 * i));
}

}  // namespace

void EncodeArchiveHeader(const char* magic, std::uint16_t entryCount, std::uint32_t directoryOffset,
                         unsigned char* out) {
  std::memset(out, 0, kFirstEntryOffset);
  std::memcpy(out, magic, kMagicSize);
  PutLe(out + kEntryCountAt, entryCount, 2);
  PutLe(out + kDirectoryOffsetAt, directoryOffset, 4);
}

void EncodeDirectoryRecord(const char* name, std::uint32_t size, unsigned char* out) {
  std::memset(out, 0, kNameFieldSize);
  std::size_t length = std::strlen(name);
  std::memcpy(out, name, length < kNameFieldSize ? length : kNameFieldSize);
  PutLe(out + kNameFieldSize, size, 4);
}

HeaderCheck ReadArchiveHeader(InputFile& archive, const char* expectedMagic,
                              ArchiveHeader& header) {
  unsigned char bytes[kHeaderSize] = {};
  archive.Read(bytes, sizeof bytes);
  HeaderCheck check = CheckMagic(bytes, expectedMagic);
  if (check == HeaderCheck::kOk) header = DecodeArchiveHeader(bytes);
  return check;
}

void ReadDirectory(InputFile& archive, const ArchiveHeader& header, DirectoryRecord* records,
                   int capacity) {
  archive.Seek(header.directoryOffset);
  std::uint32_t start = kFirstEntryOffset;
  const int count = header.entryCount < capacity ? header.entryCount : capacity;
  // Records are read a block at a time; what the file does not hold reads as zero.
  constexpr int kBlockRecords = 256;
  unsigned char block[kBlockRecords * kRecordSize];
  for (int first = 0; first < count; first += kBlockRecords) {
    const int inBlock = count - first < kBlockRecords ? count - first : kBlockRecords;
    std::memset(block, 0, sizeof block);
    archive.Read(block, static_cast<std::size_t>(inBlock) * kRecordSize);
    for (int j = 0; j < inBlock; ++j) {
      records[first + j] = DecodeDirectoryRecord(block + j * kRecordSize, start);
      start = records[first + j].span.end;
    }
  }
}
