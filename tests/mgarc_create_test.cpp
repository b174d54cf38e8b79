// mgarc create: archives that extract to the tree they came from.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mgarc/engine/packing_list.h"
#include "mgarc_fixture.h"
#include "platform/file_replacement.h"
#include "platform/file_stream.h"
#include "platform/text_conversion.h"
#include "run_tool.h"
#include "test_archive.h"

using namespace mgarc::engine;

namespace {

class MgarcCreate : public MgarcFixture {
 protected:
  std::string archive_ = dir_ / "new.dat";
};

TEST_F(MgarcCreate, RoundTripGivesTheSameBytes) {
  // 表 and ソ end in byte 5C; 〜 as Windows writes it (U+FF5E) and ― (U+2015).
  TestArchive original{"ZEL00",
                       {{"Z.TXT", "last by name, first by place"},
                        {"\x95\x5C\\\x83\x5C.TXT", "so"},
                        {"SE\\DOOR.WAV", PatternBytes(300000)},
                        {"\x81\x60\x81\x5C.TXT", "wave dash"},
                        {"EMPTY", ""},
                        {"SE\\A.WAV", "a"}}};
  std::string a = dir_ / "a.dat";
  WriteFile(a, original.Bytes());
  std::string order = dir_ / "order.txt";
  WriteFile(order, Run({"list", "--names", a}).out);
  ASSERT_EQ(Run({"extract", "-q", "-C", tree_, a}).exitStatus, 0);
  for (const char* jobs : {"1", "3"}) {
    ToolRun run = Run(
        {"create", "--force", "--magic", "zel00", "--order", order, "-j", jobs, archive_, tree_});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_TRUE(ReadFile(archive_) == original.Bytes()) << "-j " << jobs;
  }
}

TEST_F(MgarcCreate, WithoutAnOrderEntriesAreSortedByStoredBytes) {
  Put("b.txt", "b");
  Put("B/X", "x");
  Put("表.TXT", "hyo");
  Put("A.TXT", "a");
  ToolRun run = Run({"create", "-v", archive_, tree_});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.out, "A.TXT\nB/X\nb.txt\n表.TXT\n");
  EXPECT_TRUE(ReadFile(archive_) ==
              (TestArchive{"VIZ00",
                           {{"A.TXT", "a"}, {"B\\X", "x"}, {"b.txt", "b"}, {"\x95\x5C.TXT", "hyo"}}}
                   .Bytes()));
}

TEST_F(MgarcCreate, EveryNameThatBreaksARuleIsReportedAndNothingIsWritten) {
  Put("OK.TXT", "fine");
  Put("TWELVE_BYTES.TXT", "too long");
  Put("〜.TXT", "U+301C: glibc writes 81 60, which reads back as U+FF5E");
  Put("😀", "no code page 932 form");
  Put("NUL.TXT", "a device on Windows");
  Put("A:B", "a stream on Windows");
  Put("DOT.", "trailing dot");
  Put("a\\b", "a backslash in a Linux name");
  Put("DEL\x7F", "list shows it as \\x7F");
  Put("Case", "one");
  Put("CASE", "two");
  Put("Se", "a file, where Windows needs a directory for the next");
  Put("SE/A", "in a directory");
  WriteFile(archive_, "the old archive");
  ToolRun run = Run({"create", "--force", archive_, tree_});
  EXPECT_EQ(run.exitStatus, 2);
  for (const char* name : {"TWELVE_BYTES.TXT", "〜.TXT", "😀", "NUL.TXT", "A:B", "DOT.", "a\\b",
                           "DEL\x7F", "Case", "Se"}) {
    EXPECT_NE(run.err.find(std::string("mgarc: ") + name + ": "), std::string::npos) << name;
  }
  EXPECT_EQ(run.err.find("OK.TXT"), std::string::npos);
  EXPECT_NE(run.err.find("mgarc: " + archive_ + ": not written\n"), std::string::npos);
  EXPECT_EQ(ReadFile(archive_), "the old archive");
  EXPECT_EQ(ListTree(dir_.path()).size(), ListTree(tree_).size() + 2);  // tree/, new.dat
}

TEST_F(MgarcCreate, OrderFileNamesMustBeFilesAndAppearOnce) {
  Put("A", "a");
  Put("SE/B", "b");
  Put("C", "c");
  std::string order = dir_ / "order.txt";
  WriteFile(order, "\xEF\xBB\xBFSE\\B\r\n\r\nA\r\n");
  ToolRun run = Run({"create", "-v", "--order", order, archive_, tree_});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, "SE/B\nA\nC\n");
  EXPECT_EQ(TakeTotals(run.err), "3 files, 0.0 MiB");
  EXPECT_EQ(run.err, "mgarc: C: not in the order file: packed after the names it lists\n");

  WriteFile(order, "A\nMISSING\nA\n");
  ToolRun bad = Run({"create", "--order", order, dir_ / "other.dat", tree_});
  EXPECT_EQ(bad.exitStatus, 2);
  EXPECT_NE(bad.err.find("mgarc: MISSING: listed in the order file"), std::string::npos);
  EXPECT_NE(bad.err.find("mgarc: A: listed twice"), std::string::npos);
  EXPECT_FALSE(PathExists(dir_ / "other.dat"));
}

TEST_F(MgarcCreate, TheContainersLimitsAreCheckedBeforeAByteIsWritten) {
  // Two sparse files of 2 GiB: an offset would pass 2^32.
  std::filesystem::create_directories(tree_);
  for (const char* name : {"/A", "/B"}) {
    WriteFile(tree_ + name, "");
    std::filesystem::resize_file(tree_ + name, std::uintmax_t{1} << 31);
  }
  ToolRun large = Run({"create", archive_, tree_});
  EXPECT_EQ(large.exitStatus, 2);
  EXPECT_NE(large.err.find("offsets reach no further"), std::string::npos) << large.err;
  EXPECT_FALSE(PathExists(archive_));

  std::filesystem::remove_all(tree_);
  std::filesystem::create_directories(tree_);
  for (int i = 0; i < 65536; ++i) WriteFile(tree_ + "/" + std::to_string(i), "");
  ToolRun many = Run({"create", "-q", archive_, tree_});
  EXPECT_EQ(many.exitStatus, 2);
  EXPECT_NE(many.err.find("65536 files: an archive holds at most 65535"), std::string::npos);
  std::filesystem::remove(tree_ + "/0");
  ToolRun most = Run({"create", "-q", archive_, tree_});
  EXPECT_EQ(most.exitStatus, 0);
  EXPECT_EQ(most.err,
            "mgarc: " + archive_ + ": 65535 entries: marrowgilder extracts at most 5000\n");
}

TEST_F(MgarcCreate, AnExistingFileIsReplacedOnlyWithForce) {
  Put("A", "a");
  struct Case {
    std::string old;
    std::string reason;
  };
  const Case cases[] = {
      {TestArchive{"VIZ00", {{"X", "x"}, {"Y", "y"}}}.Bytes(),
       "exists (2 entries): 'mgarc update' changes it, --force replaces it"},
      {"notes", "exists (not an archive): --force replaces it"},
  };
  for (const Case& c : cases) {
    WriteFile(archive_, c.old);
    ToolRun refused = Run({"create", archive_, tree_});
    EXPECT_EQ(refused.exitStatus, 2);
    EXPECT_EQ(refused.err, "mgarc: " + archive_ + ": " + c.reason + "\n");
    EXPECT_TRUE(ReadFile(archive_) == c.old);
    EXPECT_EQ(Run({"create", "--force", archive_, tree_}).exitStatus, 0);
    EXPECT_EQ(Run({"list", "--names", archive_}).out, "A\n");
  }
}

TEST_F(MgarcCreate, AFailedWriteLeavesTheOldArchiveAndNoTemporaryFile) {
  Put("BIG", PatternBytes(200000));
  WriteFile(archive_, "the old archive");
  RunOptions limited;
  limited.fileSizeLimit = 100000;
  ToolRun run = Run({"create", "--force", archive_, tree_}, limited);
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_NE(run.err.find("mgarc: BIG: cannot write the archive: File too large"), std::string::npos)
      << run.err;
  EXPECT_EQ(ReadFile(archive_), "the old archive");
  EXPECT_EQ(ListTree(dir_.path()), (std::vector<std::string>{"new.dat", "tree/", "tree/BIG"}));
}

TEST_F(MgarcCreate, AKilledCreateLeavesNothingAndTheNextOneWorks) {
  // The archive inside the tree: a file left of the killed run would be packed.
  Put("A", "a");
  Put("BIG", PatternBytes(300000));
  std::string archive = tree_ + "/new.dat";
  RunOptions limited;
  limited.fileSizeLimit = 100000;
  limited.killedAtLimit = true;
  EXPECT_EQ(Run({"create", archive, tree_}, limited).exitStatus, -1);
  EXPECT_EQ(ListTree(dir_.path()), (std::vector<std::string>{"tree/", "tree/A", "tree/BIG"}));
  ToolRun run = Run({"create", archive, tree_});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(Run({"list", "--names", archive}).out, "A\nBIG\n");
}

TEST_F(MgarcCreate, TheReplacedFileKeepsItsModeAndALinkStays) {
  Put("A", "a");
  mode_t previousMask = umask(027);
  struct Case {
    const char* what;
    int oldMode;  // -1: no archive yet
    bool link;    // ARCHIVE a link to the archive
    int mode;
  };
  for (const Case& c : {Case{"kept", 0604, false, 0604}, Case{"umask", -1, false, 0640},
                        Case{"through a link", 0604, true, 0604}}) {
    TempDir dir;
    std::string real = dir / "real.dat";
    std::string archive = c.link ? dir / "link.dat" : real;
    if (c.oldMode >= 0) {
      WriteFile(real, "old");
      chmod(real.c_str(), static_cast<mode_t>(c.oldMode));
    }
    if (c.link) std::filesystem::create_symlink("real.dat", archive);
    ToolRun run = Run({"create", "--force", archive, tree_});
    EXPECT_EQ(run.exitStatus, 0) << c.what << ": " << run.err;
    struct stat info {};
    EXPECT_EQ(stat(real.c_str(), &info), 0) << c.what;
    EXPECT_EQ(info.st_mode & 07777, static_cast<mode_t>(c.mode)) << c.what;
    EXPECT_EQ(Run({"list", "--names", real}).out, "A\n") << c.what;
    EXPECT_EQ(std::filesystem::is_symlink(archive), c.link) << c.what;
  }
  umask(previousMask);
}

TEST_F(MgarcCreate, WhatCannotBeStoredIsNamedAndLeftOut) {
  Put("A", "a");
  std::filesystem::create_directories(tree_ + "/EMPTY");
  ASSERT_EQ(mkfifo((tree_ + "/FIFO").c_str(), 0666), 0);
  std::filesystem::create_directory_symlink(tree_, tree_ + "/LOOP");
  Put("D/B", "b");
  std::filesystem::create_directory_symlink(tree_ + "/D", tree_ + "/LINKED");
  // Below the top, where another worker reads the directory than its parent's.
  std::filesystem::create_directories(tree_ + "/D/E/EMPTY");
  std::filesystem::create_directory_symlink(tree_, tree_ + "/D/E/UP");
  ToolRun run = Run({"create", "-v", "-j", "3", tree_ + "/self.dat", tree_});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(run.out, "A\nD/B\nLINKED/B\n");  // links are followed
  EXPECT_EQ(TakeTotals(run.err), "3 files, 0.0 MiB");
  EXPECT_EQ(run.err,
            "mgarc: D/E/EMPTY: left out: an archive cannot hold an empty directory\n"
            "mgarc: D/E/UP: left out: a link back to a directory above it\n"
            "mgarc: EMPTY: left out: an archive cannot hold an empty directory\n"
            "mgarc: FIFO: left out: neither a file nor a directory\n"
            "mgarc: LINKED/E/EMPTY: left out: an archive cannot hold an empty directory\n"
            "mgarc: LINKED/E/UP: left out: a link back to a directory above it\n"
            "mgarc: LOOP: left out: a link back to a directory above it\n");
  // Made again, the archive inside the tree is not packed into itself.
  EXPECT_EQ(Run({"create", "-q", "--force", tree_ + "/self.dat", tree_}).exitStatus, 0);
  EXPECT_EQ(Run({"list", "--names", tree_ + "/self.dat"}).out, "A\nD/B\nLINKED/B\n");
}

TEST_F(MgarcCreate, ExcludedFilesAreNeitherPackedNorRefused) {
  Put("A.TXT", "a");
  Put("A.TXT~", "backup");
  Put("〜.TXT~", "a name create refuses");
  ToolRun run = Run({"create", "--exclude", "*~", archive_, tree_});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(Run({"list", "--names", archive_}).out, "A.TXT\n");
}

TEST_F(MgarcCreate, AMissingStandardStreamTakesNoFile) {
  // Enough names that the lines of -v would reach past the header.
  for (char c = 'A'; c <= 'H'; ++c) Put(std::string("LONGER_") + c + ".TXT", std::string(1, c));
  for (const std::vector<int>& closed : {std::vector<int>{1}, std::vector<int>{0, 1, 2}}) {
    RunOptions options;
    options.closed = closed;
    ToolRun run = Run({"create", "-v", "--force", archive_, tree_}, options);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(Run({"verify", archive_}).exitStatus, 0) << closed.size();
    EXPECT_EQ(Run({"cat", archive_, "LONGER_B.TXT"}).out, "B");
  }
}

TEST_F(MgarcCreate, TheOrderIsReadAsAStreamAndDashIsStandardInput) {
  Put("A", "a");
  Put("B", "b");
  for (const char* order : {"-", "/dev/stdin"}) {
    ToolRun run =
        RunTool(MGARC_BINARY, {"create", "--force", "--order", order, archive_, tree_}, "B\nA\n");
    EXPECT_EQ(run.exitStatus, 0) << order << ": " << run.err;
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(Run({"list", "--names", archive_}).out, "B\nA\n") << order;
  }
}

TEST(InputFile, OnlyARegularFileOpensAndAFifoDoesNotWait) {
  TempDir dir;
  WriteFile(dir / "file", "x");
  ASSERT_EQ(mkfifo((dir / "fifo").c_str(), 0666), 0);
  InputFile file;
  EXPECT_TRUE(file.Open((dir / "file").c_str()));
  for (const std::string& path : {dir / "fifo", std::string("/dev/null"), dir.path()}) {
    InputFile other;
    EXPECT_FALSE(other.Open(path.c_str())) << path;
    EXPECT_NE(other.error(), 0) << path;
  }
  InputFile fifo;
  EXPECT_FALSE(fifo.Open(dir / "fifo"));
  EXPECT_EQ(SystemErrorUtf8(fifo.error()), "not a regular file");
}

TEST(FileReplacement, NothingIsLeftOfAnUnfinishedFileNamedOrNot) {
  for (bool unnamed : {true, false}) {
    TempDir dir;
    std::string target = dir / "a.dat";
    {
      FileReplacement discarded;
      ASSERT_TRUE(discarded.Create(target, unnamed));
      EXPECT_TRUE(discarded.file().WriteAt(0, "half", 4));
      EXPECT_TRUE(unnamed || !discarded.unnamed());
    }
    EXPECT_EQ(ListTree(dir.path()), std::vector<std::string>{}) << unnamed;
    pid_t child = fork();
    if (child == 0) {
      FileReplacement interrupted;
      if (!interrupted.Create(target, unnamed) || !interrupted.file().WriteAt(0, "half", 4)) {
        _exit(1);
      }
      raise(SIGTERM);
      _exit(0);
    }
    int status = 0;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGTERM) << unnamed;
    EXPECT_EQ(ListTree(dir.path()), std::vector<std::string>{}) << unnamed;
    FileReplacement kept;
    ASSERT_TRUE(kept.Create(target, unnamed));
    OutputFile writer;
    ASSERT_TRUE(kept.OpenWriter(writer));
    EXPECT_TRUE(writer.WriteAt(2, "ll", 2) && kept.file().WriteAt(0, "whole", 5));
    writer.Close();
    EXPECT_TRUE(kept.Commit()) << SystemErrorUtf8(kept.error());
    EXPECT_EQ(ReadFile(target), "whole") << unnamed;
    EXPECT_EQ(ListTree(dir.path()), std::vector<std::string>{"a.dat"}) << unnamed;
  }
}

TEST(PackingList, OrderLinesAndContainerLimits) {
  EXPECT_EQ(ParseOrder("A\r\n\nSE\\B\nC/D"), (std::vector<std::string>{"A", "SE/B", "C/D"}));
  EXPECT_EQ(ParseOrder(std::string("A\r\0\0SE\\B\nC\0", 11), '\0'),
            (std::vector<std::string>{"A\r", "SE/B\nC"}));
  // The last byte just below 2^32, then on it.
  EXPECT_FALSE(CheckContainerLimits("a.dat", 2, 0xFFFFFFFFull - 16 - 32));
  EXPECT_TRUE(CheckContainerLimits("a.dat", 2, 0xFFFFFFFFull - 16 - 32 + 1));
}

}  // namespace
