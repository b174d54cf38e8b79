// The archive container: a 14-byte header, entry data from byte 16 on, and a
// directory of 16-byte records at the header's offset. Numbers are unsigned
// little-endian.
#pragma once

#include <algorithm>
#include <cstdint>
#include <iterator>
#include <string_view>

class InputFile;

inline constexpr int kHeaderSize = 14;
// Where the header's fields lie: the magic, three reserved bytes, the entry
// count (16 bits) and the directory's offset (32 bits).
inline constexpr int kMagicSize = 5;
inline constexpr int kEntryCountAt = 8;
inline constexpr int kDirectoryOffsetAt = 10;
// The two variants' magics.
inline constexpr const char* kArchiveMagics[] = {"VIZ00", "ZEL00"};
// True when magic is one of them, case and all.
inline bool IsArchiveMagic(std::string_view magic) {
  return std::find(std::begin(kArchiveMagics), std::end(kArchiveMagics), magic) !=
         std::end(kArchiveMagics);
}
inline constexpr int kRecordSize = 16;
inline constexpr int kNameFieldSize = 12;
inline constexpr std::uint32_t kFirstEntryOffset = 16;
// The most entries the format's 16-bit count can hold.
inline constexpr int kFormatEntryLimit = 65535;
// The most entries marrowgilder extracts: its table of output paths has this many slots.
inline constexpr int kMarrowgilderEntryLimit = 5000;

struct ArchiveHeader {
  char magic[6];  // the first five bytes, cut at a zero byte
  std::uint16_t entryCount;
  std::uint32_t directoryOffset;
};

struct DirectoryEntry {
  char name[kNameFieldSize + 1];  // the bytes before the first zero, always terminated
  std::uint32_t size;
};

// One entry's data: start is its first byte, end one past its last. The sum
// wraps at 2^32 as the format's arithmetic does; end below start marks that.
struct EntrySpan {
  std::uint32_t start;
  std::uint32_t end;
};

struct DirectoryRecord {
  DirectoryEntry entry;
  EntrySpan span;
};

enum class HeaderCheck {
  kOk,
  kFamilyMarkMissing,  // "Invalid File Format!"
  kMagicDiffers,       // "This File Is No Supported!"
};

std::uint16_t ReadLe16(const unsigned char* bytes);
std::uint32_t ReadLe32(const unsigned char* bytes);

// Tests the first five bytes of a file (zero-filled past its end) against the
// expected magic; its first three letters are the family mark.
HeaderCheck CheckMagic(const unsigned char* firstFive, const char* expectedMagic);

// Decodes the 14 header bytes; bytes past the end of the file are zero.
ArchiveHeader DecodeArchiveHeader(const unsigned char* bytes);

// Decodes one 16-byte record whose data begins at start.
DirectoryRecord DecodeDirectoryRecord(const unsigned char* record, std::uint32_t start);

// Encodes a header: the magic, the reserved bytes zero, the count and the
// directory offset; out receives 16 bytes (the two after the header zero too).
void EncodeArchiveHeader(const char* magic, std::uint16_t entryCount, std::uint32_t directoryOffset,
                         unsigned char* out);

// Encodes one record: the name (at most 12 bytes, zero-padded) and the size.
void EncodeDirectoryRecord(const char* name, std::uint32_t size, unsigned char* out);

// Reads the header from the start of the archive. On kOk, header is filled.
HeaderCheck ReadArchiveHeader(InputFile& archive, const char* expectedMagic, ArchiveHeader& header);

// Reads header.entryCount records, but never more than capacity, from the
// header's offset into records, in directory order, with each entry's span.
// Missing bytes read as zero.
void ReadDirectory(InputFile& archive, const ArchiveHeader& header, DirectoryRecord* records,
                   int capacity);
