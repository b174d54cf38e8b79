#include "marrowgilder/engine/entry_copy.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "test_archive.h"

using marrowgilder::engine::CopyByteRange;
using marrowgilder::engine::kCopyArchiveNotOpened;
using marrowgilder::engine::kCopyCutShort;
using marrowgilder::engine::kCopyDone;
using marrowgilder::engine::kCopyOutputIsArchive;
using marrowgilder::engine::kCopyOutputNotCreated;
using marrowgilder::engine::kCopyWriteFailed;

namespace {

class EntryCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    archiveBytes_ = PatternBytes(1300000);
    WriteFile(archivePath_, archiveBytes_);
  }
  int Copy(std::uint32_t start, std::uint32_t end, const std::string& output) {
    return CopyByteRange(start, end, archivePath_.c_str(), output.c_str());
  }
  TempDir dir_;
  std::string archivePath_ = dir_ / "archive.dat";
  std::string archiveBytes_;
  std::string output_ = dir_ / "out.bin";
};

TEST_F(EntryCopy, ChunkBoundaries) {
  // Lengths around the 200000-byte buffer, at an odd start so a misplaced seek shows.
  for (std::uint32_t length : {0u, 1u, 199999u, 200000u, 200001u, 600000u, 1000003u}) {
    const std::uint32_t start = 16 + 7 * length % 1009;
    ASSERT_EQ(Copy(start, start + length, output_), kCopyDone) << length;
    std::string copied = ReadFile(output_);
    ASSERT_EQ(copied.size(), length);
    EXPECT_TRUE(copied == archiveBytes_.substr(start, length)) << length;
  }
}

TEST_F(EntryCopy, ExistingFileIsReplaced) {
  WriteFile(output_, std::string(500000, 'x'));
  ASSERT_EQ(Copy(100, 110, output_), kCopyDone);
  EXPECT_EQ(ReadFile(output_), archiveBytes_.substr(100, 10));
}

TEST_F(EntryCopy, SpanPastTheEndKeepsOnlyTheBytesThatExist) {
  // The second chunk comes up short; nothing of the first chunk may be written again.
  const std::uint32_t start = 1000000;
  ASSERT_EQ(Copy(start, start + 450000, output_), kCopyCutShort);
  EXPECT_TRUE(ReadFile(output_) == archiveBytes_.substr(start));
}

TEST_F(EntryCopy, SpanStartingPastTheEndLeavesAnEmptyFile) {
  ASSERT_EQ(Copy(5000000, 5000010, output_), kCopyCutShort);
  EXPECT_TRUE(PathExists(output_));
  EXPECT_EQ(ReadFile(output_), "");
}

TEST_F(EntryCopy, SpanWhoseSumPassedTheFormatsLimitIsCutShort) {
  ASSERT_EQ(Copy(0xFFFFFF00u, 0x10u, output_), kCopyCutShort);
  EXPECT_EQ(ReadFile(output_), "");
}

TEST_F(EntryCopy, MissingArchiveLeavesAnExistingFileAlone) {
  WriteFile(output_, "keep me");
  std::string missing = dir_ / "missing.dat";
  EXPECT_EQ(CopyByteRange(16, 20, missing.c_str(), output_.c_str()), kCopyArchiveNotOpened);
  EXPECT_EQ(ReadFile(output_), "keep me");
  std::string fresh = dir_ / "fresh.bin";
  EXPECT_EQ(CopyByteRange(16, 20, missing.c_str(), fresh.c_str()), kCopyArchiveNotOpened);
  EXPECT_FALSE(PathExists(fresh));
}

TEST_F(EntryCopy, OutputThatCannotBeCreated) {
  EXPECT_EQ(Copy(16, 20, dir_ / "no/such/dir/out.bin"), kCopyOutputNotCreated);
  EXPECT_EQ(Copy(16, 20, dir_.path()), kCopyOutputNotCreated);  // a directory
}

TEST_F(EntryCopy, TheArchiveItselfIsNeverOpenedForWriting) {
  EXPECT_EQ(Copy(16, 20, archivePath_), kCopyOutputIsArchive);
  std::string otherName = dir_ / "sub/../archive.dat";
  std::filesystem::create_directory(dir_ / "sub");
  EXPECT_EQ(Copy(16, 20, otherName), kCopyOutputIsArchive);
  std::string link = dir_ / "hard-link.dat";
  std::filesystem::create_hard_link(archivePath_, link);
  EXPECT_EQ(Copy(16, 20, link), kCopyOutputIsArchive);
  EXPECT_TRUE(ReadFile(archivePath_) == archiveBytes_);
}

TEST_F(EntryCopy, AFullDiskIsReported) {
  // Every write to /dev/full fails with "No space left on device".
  if (!PathExists("/dev/full")) GTEST_SKIP() << "no /dev/full on this machine";
  EXPECT_EQ(Copy(16, 300000, "/dev/full"), kCopyWriteFailed);
  EXPECT_EQ(Copy(16, 16, "/dev/full"), kCopyDone);  // nothing to write, nothing lost
}

}  // namespace

namespace {

TEST(EntryCopyLargeArchive, OffsetsPast2GiB) {
  // A sparse archive: only the entry's bytes, placed past 2^31, take disk space.
  TempDir dir;
  std::string archive = dir / "big.dat";
  const std::uint32_t start = 0x80000010u;
  const std::string entry = PatternBytes(250000, 7);
  {
    std::ofstream file(archive, std::ios::binary);
    file.seekp(static_cast<std::streamoff>(start));
    file.write(entry.data(), static_cast<std::streamsize>(entry.size()));
    ASSERT_TRUE(file.good());
  }
  std::string output = dir / "entry.bin";
  ASSERT_EQ(CopyByteRange(start, start + 250000, archive.c_str(), output.c_str()), kCopyDone);
  EXPECT_TRUE(ReadFile(output) == entry);
}

}  // namespace
