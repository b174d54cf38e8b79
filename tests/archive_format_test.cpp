#include "archive/archive_format.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform/file_stream.h"
#include "test_archive.h"

namespace {

const unsigned char* Bytes(const std::string& s) {
  return reinterpret_cast<const unsigned char*>(s.data());
}

HeaderCheck CheckFileStart(std::string start, const char* magic) {
  start.resize(5, '\0');  // the reader sees zeros past the end of the file
  return CheckMagic(Bytes(start), magic);
}

TEST(LittleEndian, EveryByteCountsUnsigned) {
  EXPECT_EQ(ReadLe16(Bytes(std::string("\xC8\x00", 2))), 200);
  EXPECT_EQ(ReadLe16(Bytes(std::string("\x90\x01", 2))), 400);
  EXPECT_EQ(ReadLe16(Bytes(std::string("\xFF\xFF", 2))), 65535);
  EXPECT_EQ(ReadLe32(Bytes(std::string("\x10\x00\x00\x01", 4))), 16777232u);
  EXPECT_EQ(ReadLe32(Bytes(std::string("\x00\x01\x00\x00", 4))), 256u);
  EXPECT_EQ(ReadLe32(Bytes(std::string("\x45\x23\x01\x00", 4))), 74565u);
  EXPECT_EQ(ReadLe32(Bytes(std::string("\xFF\xFF\xFF\xFF", 4))), 0xFFFFFFFFu);
}

TEST(MagicCheck, OnlyTheExactMagicPasses) {
  EXPECT_EQ(CheckFileStart("VIZ00", "VIZ00"), HeaderCheck::kOk);
  EXPECT_EQ(CheckFileStart("ZEL00", "ZEL00"), HeaderCheck::kOk);
  EXPECT_EQ(CheckFileStart("VIZ01", "VIZ00"), HeaderCheck::kMagicDiffers);
  EXPECT_EQ(CheckFileStart("xVIZ0", "VIZ00"), HeaderCheck::kMagicDiffers);
  EXPECT_EQ(CheckFileStart("VIZ0", "VIZ00"), HeaderCheck::kMagicDiffers);
  EXPECT_EQ(CheckFileStart(std::string("VIZ\0\0", 5), "VIZ00"), HeaderCheck::kMagicDiffers);
}

TEST(MagicCheck, MissingFamilyMarkIsAnInvalidFormat) {
  EXPECT_EQ(CheckFileStart("ZEL00", "VIZ00"), HeaderCheck::kFamilyMarkMissing);
  EXPECT_EQ(CheckFileStart("VIZ00", "ZEL00"), HeaderCheck::kFamilyMarkMissing);
  EXPECT_EQ(CheckFileStart("viz00", "VIZ00"), HeaderCheck::kFamilyMarkMissing);
  EXPECT_EQ(CheckFileStart("", "VIZ00"), HeaderCheck::kFamilyMarkMissing);
  EXPECT_EQ(CheckFileStart(std::string("VI\0Z0", 5), "VIZ00"), HeaderCheck::kFamilyMarkMissing);
}

TEST(HeaderDecoding, ReservedBytesChangeNothing) {
  std::string plain("VIZ00\0\0\0\x02\x00\x15\x00\x00\x00", 14);
  std::string noisy("VIZ00\xAA\xBB\xCC\x02\x00\x15\x00\x00\x00", 14);
  for (const std::string& bytes : {plain, noisy}) {
    ArchiveHeader header = DecodeArchiveHeader(Bytes(bytes));
    EXPECT_EQ(header.entryCount, 2);
    EXPECT_EQ(header.directoryOffset, 21u);
  }
}

TEST(RecordDecoding, NamesStopAtTheFirstZeroOrTheFieldsEnd) {
  std::string full = std::string("ABCDEFGHIJKL") + std::string("\x05\x00\x00\x00", 4);
  DirectoryRecord twelve = DecodeDirectoryRecord(Bytes(full), 16);
  EXPECT_STREQ(twelve.entry.name, "ABCDEFGHIJKL");
  EXPECT_EQ(twelve.entry.size, 5u);
  EXPECT_EQ(twelve.span.start, 16u);
  EXPECT_EQ(twelve.span.end, 21u);

  std::string inner = std::string("AB\0CD\0\0\0\0\0\0\0", 12) + std::string(4, '\0');
  EXPECT_STREQ(DecodeDirectoryRecord(Bytes(inner), 16).entry.name, "AB");
}

TEST(RecordDecoding, SpanSumWrapsAt32Bits) {
  std::string record = std::string(12, 'A') + std::string("\x20\x00\x00\x00", 4);
  DirectoryRecord decoded = DecodeDirectoryRecord(Bytes(record), 0xFFFFFFF0u);
  EXPECT_EQ(decoded.span.end, 0x10u);
  EXPECT_LT(decoded.span.end, decoded.span.start);
}

TEST(Encoding, ReadsBackAsWrittenWithTheReservedBytesZero) {
  unsigned char header[16];
  std::memset(header, 0xAA, sizeof header);
  EncodeArchiveHeader("ZEL00", 65535, 0xFEDCBA98u, header);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(header), 16),
            std::string("ZEL00\0\0\0\xFF\xFF\x98\xBA\xDC\xFE\0\0", 16));
  unsigned char record[16];
  std::memset(record, 0xAA, sizeof record);
  EncodeDirectoryRecord("SE\\A.WAV", 0x01020304u, record);
  DirectoryRecord decoded = DecodeDirectoryRecord(record, 16);
  EXPECT_STREQ(decoded.entry.name, "SE\\A.WAV");
  EXPECT_EQ(decoded.entry.size, 0x01020304u);
  EXPECT_EQ(record[11], 0);
  EncodeDirectoryRecord("ABCDEFGHIJKL", 0, record);  // twelve bytes: no terminator
  EXPECT_EQ(std::string(reinterpret_cast<char*>(record), 16),
            "ABCDEFGHIJKL" + std::string(4, '\0'));
}

class ArchiveReading : public ::testing::Test {
 protected:
  HeaderCheck Read(const std::string& bytes, const char* magic, ArchiveHeader& header,
                   DirectoryRecord* records = nullptr) {
    std::string path = dir_ / "archive.dat";
    WriteFile(path, bytes);
    InputFile archive;
    EXPECT_TRUE(archive.Open(path.c_str()));
    HeaderCheck check = ReadArchiveHeader(archive, magic, header);
    if (check == HeaderCheck::kOk && records != nullptr) ReadDirectory(archive, header, records, 8);
    return check;
  }
  TempDir dir_;
  DirectoryRecord records_[8] = {};
};

TEST_F(ArchiveReading, TheWorkedExampleArchive) {
  TestArchive archive{"VIZ00", {{"A.TXT", "abc"}, {"B.TXT", "de"}}};
  std::string bytes = archive.Bytes();
  ASSERT_EQ(bytes.size(), 53u);
  ArchiveHeader header{};
  ASSERT_EQ(Read(bytes, "VIZ00", header, records_), HeaderCheck::kOk);
  EXPECT_EQ(header.entryCount, 2);
  EXPECT_EQ(header.directoryOffset, 21u);
  EXPECT_STREQ(records_[0].entry.name, "A.TXT");
  EXPECT_EQ(records_[0].span.start, 16u);
  EXPECT_EQ(records_[0].span.end, 19u);
  EXPECT_STREQ(records_[1].entry.name, "B.TXT");
  EXPECT_EQ(records_[1].span.start, 19u);
  EXPECT_EQ(records_[1].span.end, 21u);
}

TEST_F(ArchiveReading, SpansTileTheDataInDirectoryOrder) {
  TestArchive archive{"ZEL00", {{"X", std::string(10, 'x')}, {"Y", ""}, {"Z", "zzzzz"}}};
  ArchiveHeader header{};
  ASSERT_EQ(Read(archive.Bytes(), "ZEL00", header, records_), HeaderCheck::kOk);
  EXPECT_EQ(records_[0].span.start, 16u);
  EXPECT_EQ(records_[0].span.end, 26u);
  EXPECT_EQ(records_[1].span.start, 26u);
  EXPECT_EQ(records_[1].span.end, 26u);
  EXPECT_EQ(records_[2].span.start, 26u);
  EXPECT_EQ(records_[2].span.end, 31u);
}

TEST_F(ArchiveReading, FileOfTheMagicAloneHasNoEntries) {
  ArchiveHeader header{};
  ASSERT_EQ(Read("VIZ00", "VIZ00", header, records_), HeaderCheck::kOk);
  EXPECT_EQ(header.entryCount, 0);
  EXPECT_EQ(header.directoryOffset, 0u);
}

TEST_F(ArchiveReading, MissingDirectoryBytesReadAsZero) {
  // Three records announced, the directory cut inside the second record's size.
  TestArchive archive{"VIZ00", {{"A.TXT", "abc"}, {"B.TXT", "de"}}};
  archive.entryCountOverride = 3;
  std::string bytes = archive.Bytes();
  bytes.resize(bytes.size() - 3);
  ArchiveHeader header{};
  ASSERT_EQ(Read(bytes, "VIZ00", header, records_), HeaderCheck::kOk);
  EXPECT_STREQ(records_[1].entry.name, "B.TXT");
  EXPECT_EQ(records_[1].entry.size, 2u);
  EXPECT_STREQ(records_[2].entry.name, "");
  EXPECT_EQ(records_[2].entry.size, 0u);
  EXPECT_EQ(records_[2].span.start, 21u);
}

TEST_F(ArchiveReading, DirectoryPastTheEndGivesEmptyRecords) {
  TestArchive archive{"VIZ00", {{"A.TXT", "abc"}}};
  archive.entryCountOverride = 2;
  std::string bytes = archive.Bytes().substr(0, 19);
  bytes[10] = '\x00';
  bytes[11] = '\x10';  // offset 4096, far past the end
  ArchiveHeader header{};
  ASSERT_EQ(Read(bytes, "VIZ00", header, records_), HeaderCheck::kOk);
  for (int i = 0; i < 2; ++i) {
    EXPECT_STREQ(records_[i].entry.name, "");
    EXPECT_EQ(records_[i].span.start, 16u);
    EXPECT_EQ(records_[i].span.end, 16u);
  }
}

TEST_F(ArchiveReading, NeverReadsPastItsCapacity) {
  TestArchive archive{"VIZ00", {{"A", "a"}, {"B", "b"}, {"C", "c"}}};
  DirectoryRecord records[3] = {};
  records[2].entry.size = 77;  // a canary
  std::string path = dir_ / "archive.dat";
  WriteFile(path, archive.Bytes());
  InputFile file;
  ASSERT_TRUE(file.Open(path.c_str()));
  ArchiveHeader header{};
  ASSERT_EQ(ReadArchiveHeader(file, "VIZ00", header), HeaderCheck::kOk);
  ReadDirectory(file, header, records, 2);
  EXPECT_STREQ(records[1].entry.name, "B");
  EXPECT_EQ(records[2].entry.size, 77u);
}

TEST_F(ArchiveReading, WrongVariantIsReportedNotRead) {
  ArchiveHeader header{};
  EXPECT_EQ(Read(TestArchive{"ZEL00", {}}.Bytes(), "VIZ00", header),
            HeaderCheck::kFamilyMarkMissing);
  EXPECT_EQ(Read("", "ZEL00", header), HeaderCheck::kFamilyMarkMissing);
  EXPECT_EQ(Read("VIZ", "VIZ00", header), HeaderCheck::kMagicDiffers);
}

}  // namespace
