// Hostile archives and failing file systems, none of them faked: the tool
// runs for real under a file-size limit, without privileges, on a file where
// its output directory should be, on a sparse archive past 2 GiB.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "run_tool.h"
#include "test_archive.h"

namespace {

const std::string kAllocationLine = "MemAllocating" + std::string(50, '.') + "Done!\n";

class Faults : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteFile(sentinel_, "untouched");
    // The unprivileged runs must reach their files.
    std::filesystem::permissions(dir_.path(), std::filesystem::perms::all);
  }
  // Nothing beside the output directory changed.
  void ExpectOnlyOutputChanged(const std::vector<std::string>& besides) {
    EXPECT_EQ(ReadFile(sentinel_), "untouched");
    std::vector<std::string> expected = {"SENT.TXT", "game.dat"};
    expected.insert(expected.end(), besides.begin(), besides.end());
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> top;
    for (const std::string& path : ListTree(dir_.path())) {
      if (path.find('/') == std::string::npos || path.find('/') == path.size() - 1) {
        top.push_back(path.substr(0, path.find('/')));
      }
    }
    EXPECT_EQ(top, expected);
  }
  ToolRun Extract(const TestArchive& archive, const std::string& reply,
                  const RunOptions& options = {}) {
    WriteFile(archive_, archive.Bytes());
    return RunTool(MARROWGILDER_BINARY, {"TK", archive_, out_}, reply, options);
  }
  TempDir dir_;
  std::string sentinel_ = dir_ / "SENT.TXT";
  std::string archive_ = dir_ / "game.dat";
  std::string out_ = dir_ / "out";
};

TEST_F(Faults, FullDiskFailsOnlyTheEntryThatDoesNotFit) {
  TestArchive archive{"VIZ00",
                      {{"A.BIN", PatternBytes(1000, 1)},
                       {"BIG.BIN", PatternBytes(300000, 2)},
                       {"C.BIN", PatternBytes(10, 3)}}};
  RunOptions limited;
  limited.fileSizeLimit = 250000;
  ToolRun run = Extract(archive, "1\n", limited);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find(out_ + "/BIG.BIN: write failed: File too large"), std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFile(out_ + "/A.BIN"), PatternBytes(1000, 1));
  EXPECT_EQ(ReadFile(out_ + "/C.BIN"), PatternBytes(10, 3));
  EXPECT_LE(ReadFile(out_ + "/BIG.BIN").size(), 250000u);
  ExpectOnlyOutputChanged({"out"});
}

TEST_F(Faults, UnreadableArchiveIsReportedAsSuch) {
  WriteFile(archive_, TestArchive{"VIZ00", {{"A", "a"}}}.Bytes());
  chmod(archive_.c_str(), 0);
  RunOptions unprivileged;
  unprivileged.unprivileged = true;
  ToolRun run = RunTool(MARROWGILDER_BINARY, {"TK", archive_, out_}, "1\n", unprivileged);
  EXPECT_EQ(run.out, kAllocationLine);
  EXPECT_EQ(run.err, "Err: File Open Error!\n");
  EXPECT_EQ(run.exitStatus, 2);
  ExpectOnlyOutputChanged({});
}

TEST_F(Faults, AnArchiveThatIsAFifoIsOneThatCannotBeOpened) {
  ASSERT_EQ(mkfifo(archive_.c_str(), 0666), 0);
  ToolRun run = RunTool(MARROWGILDER_BINARY, {"TK", archive_, out_}, "1\n");
  EXPECT_EQ(run.err, "Err: File Open Error!\n");
  EXPECT_EQ(run.exitStatus, 2);
}

TEST_F(Faults, ReadOnlyDirectoriesFailTheirEntriesOnly) {
  std::filesystem::create_directories(out_ + "/LOCKED");
  std::filesystem::permissions(out_, std::filesystem::perms::all);
  std::filesystem::permissions(out_ + "/LOCKED", std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_exec |
                                                     std::filesystem::perms::others_read |
                                                     std::filesystem::perms::others_exec);
  RunOptions unprivileged;
  unprivileged.unprivileged = true;
  ToolRun run =
      Extract(TestArchive{"VIZ00", {{"A.TXT", "a"}, {"LOCKED\\B.TXT", "b"}, {"C.TXT", "c"}}}, "1\n",
              unprivileged);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find(out_ + "/LOCKED/B.TXT: cannot create the file: Permission denied"),
            std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFile(out_ + "/A.TXT"), "a");
  EXPECT_EQ(ReadFile(out_ + "/C.TXT"), "c");
  EXPECT_FALSE(PathExists(out_ + "/LOCKED/B.TXT"));
  ExpectOnlyOutputChanged({"out"});
}

TEST_F(Faults, OutputDirectoryThatIsAFile) {
  WriteFile(out_, "a file, not a directory");
  ToolRun run = Extract(TestArchive{"VIZ00", {{"A.TXT", "a"}, {"SE\\B.WAV", "b"}}}, "1\n");
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_NE(run.err.find(out_ + "/A.TXT: cannot create the file: Not a directory"),
            std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find(out_ + "/SE/B.WAV: cannot create the file"), std::string::npos);
  EXPECT_EQ(ReadFile(out_), "a file, not a directory");
  ExpectOnlyOutputChanged({"out"});
}

TEST_F(Faults, EntryPast2GiBInASparseArchive) {
  // Entry 1 is 2.5 GiB of holes; entry 2 starts past 2^31. Only entries 2
  // and 3 are asked for, so nothing large is written.
  const std::uint64_t hole = 0xA0000000u;
  const std::string far = PatternBytes(1 << 20, 9);
  const std::string last = "the end";
  {
    std::ofstream file(archive_, std::ios::binary | std::ios::trunc);
    const std::uint64_t directory = 16 + hole + far.size() + last.size();
    file << TestArchive::Header("VIZ00", 3, directory);
    file.seekp(static_cast<std::streamoff>(16 + hole));
    file << far << last;
    file << TestArchive::Record("HOLE.BIN", hole) << TestArchive::Record("FAR.BIN", far.size())
         << TestArchive::Record("LAST.TXT", last.size());
    ASSERT_TRUE(file.good());
  }
  ASSERT_GT(std::filesystem::file_size(archive_), 0x80000000u);
  ToolRun run = RunTool(MARROWGILDER_BINARY, {"TK", archive_, out_}, "2\n");
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_TRUE(ReadFile(out_ + "/FAR.BIN") == far);
  EXPECT_EQ(ReadFile(out_ + "/LAST.TXT"), last);
  EXPECT_FALSE(PathExists(out_ + "/HOLE.BIN"));
  ExpectOnlyOutputChanged({"out"});
}

TEST_F(Faults, DirectoryOffsetPastTheEnd) {
  TestArchive archive{"VIZ00", {{"A.TXT", "abc"}}};
  archive.entryCountOverride = 2;
  std::string bytes = archive.Bytes().substr(0, 19);  // header and data, no directory
  bytes[10] = '\x00';
  bytes[11] = '\x00';
  bytes[12] = '\x10';  // offset 1 MiB
  WriteFile(archive_, bytes);
  ToolRun run = RunTool(MARROWGILDER_BINARY, {"TK", archive_, out_}, "1\n");
  EXPECT_EQ(run.exitStatus, 1);
  // Two records with no name: nothing can be written, and each says so.
  EXPECT_NE(run.err.find(out_ + "/: cannot create the file"), std::string::npos) << run.err;
  EXPECT_TRUE(ListTree(out_).empty());
  ExpectOnlyOutputChanged({"out"});
}

TEST_F(Faults, The65535EntriesOfAFullDirectoryAreRefused) {
  TestArchive archive{"VIZ00", {}};
  for (int i = 0; i < 65535; ++i) archive.entries.push_back({"F" + std::to_string(i), ""});
  ToolRun run = Extract(archive, "1\n");
  EXPECT_EQ(run.out, kAllocationLine);
  EXPECT_EQ(run.err, "Err: Too Many Entries! (65535 in the archive, at most 5000)\n");
  EXPECT_EQ(run.exitStatus, 2);
  ExpectOnlyOutputChanged({});
}

}  // namespace
