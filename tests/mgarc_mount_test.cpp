// mgarc mount run as a user runs it, against what mgarc extract writes.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "mgarc/engine/mount_tree.h"
#include "mount_points.h"
#include "run_tool.h"
#include "test_archive.h"

using namespace mgarc::engine;

namespace {

// 音声\声.TXT, 表\ソ.TXT (second bytes 5C), and bytes that are no code page 932.
const std::string kVoice = "\x89\xB9\x90\xBA\\\x90\xBA.TXT";
const std::string kTable = "\x95\x5C\\\x83\x5C.TXT";
const std::string kUndecodable = "X\x85\x40.BIN";

ToolRun Mgarc(const std::vector<std::string>& arguments) {
  return RunTool(MGARC_BINARY, arguments, "");
}

ToolRun Fusermount(const std::string& mountPoint, bool lazy = false) {
  std::vector<std::string> arguments = {"fusermount3", lazy ? "-uz" : "-u", mountPoint};
  return RunTool("/usr/bin/env", arguments, "");
}

class MgarcMount : public ::testing::Test {
 protected:
  // One trial mount tells whether this machine lets the tests mount at all.
  static void SetUpTestSuite() {
    if (access("/dev/fuse", R_OK | W_OK) != 0) {
      skipReason_ = "/dev/fuse is missing or not usable here: mount tests skipped";
      return;
    }
    TempDir dir;
    WriteFile(dir / "empty.dat", TestArchive{"VIZ00", {}}.Bytes());
    mkdir((dir / "m").c_str(), 0755);
    ToolRun run = Mgarc({"mount", dir / "empty.dat", dir / "m"});
    if (run.exitStatus == 0) {
      Fusermount(dir / "m");
    } else if (run.err.find("/dev/fuse") != std::string::npos ||
               run.err.find("ermi") != std::string::npos) {  // "permitted", "Permission"
      skipReason_ = "mounting is not permitted here (" + run.err + "): mount tests skipped";
    }
  }

  void SetUp() override {
    if (!skipReason_.empty()) GTEST_SKIP() << skipReason_;
    mkdir(mountPoint_.c_str(), 0755);
  }

  // A failing test never leaves its mount behind.
  void TearDown() override {
    if (IsMounted(mountPoint_)) Fusermount(mountPoint_, true);
  }

  static std::string skipReason_;
  TempDir dir_;
  std::string archive_ = dir_ / "voice.dat";
  std::string mountPoint_ = dir_ / "m";
  std::string extracted_ = dir_ / "x";
};

std::string MgarcMount::skipReason_;

TEST(MountTree, FindsEachNameInItsOwnDirectoryOnly) {
  MountTree tree;
  // Byte order: a lead byte of code page 932 sorts after every ASCII name.
  ASSERT_FALSE(tree.Add({"\x83\x5C"}, 10, 1));
  ASSERT_FALSE(tree.Add({"SE", "A.WAV"}, 20, 2));
  ASSERT_FALSE(tree.Add({"B"}, 30, 3));
  ASSERT_FALSE(tree.Add({"B"}, 40, 4));  // the later file of one name stays
  ASSERT_FALSE(tree.Add({"SE", ".", "C.WAV"}, 50, 5));
  tree.Finish();
  std::uint32_t se = 0;
  ASSERT_TRUE(tree.Find(0, "SE", &se));
  struct Case {
    std::uint32_t directory;
    std::string name;
    bool found;
    std::uint64_t offset;
  } cases[] = {
      {0, "\x83\x5C", true, 10}, {0, "B", true, 40},     {se, "A.WAV", true, 20},
      {se, "C.WAV", true, 50},   {0, "A.WAV", false, 0}, {se, "B", false, 0},
      {0, "S", false, 0},        {0, "SEX", false, 0},   {0, "", false, 0},
  };
  for (const Case& c : cases) {
    std::uint32_t child = 0;
    ASSERT_EQ(tree.Find(c.directory, c.name, &child), c.found) << c.name;
    if (c.found) {
      EXPECT_EQ(tree.nodes()[child].offset, c.offset) << c.name;
    }
  }
  EXPECT_TRUE(tree.nodes()[se].directory);
  EXPECT_EQ(tree.Children(se).size(), 2u);
}

TEST_F(MgarcMount, ShowsTheTreeExtractWritesReadOnly) {
  TestArchive archive{"VIZ00",
                      {{"README.TXT", "read me"},
                       {kVoice, "koe"},
                       {kTable, "so"},
                       {kUndecodable, "raw"},
                       {"..\\EVIL", "e"},
                       {"SAME", "first"},
                       {"SE", "file"},
                       {"SE\\A.WAV", "a"},
                       {"SAME", "second"},
                       {"BIG\\ONE.WAV", PatternBytes(3 << 20, 1)},
                       {"BIG\\TWO.WAV", PatternBytes(2 << 20, 2)},
                       {"\x81/PWN", "p"},      // a lead byte before a slash: two levels
                       {"DOT\\.\\IN", "dot"},  // extraction opens "." as the directory it is in
                       {"LAST", "0123456789"}}};
  // LAST's record claims 1000 bytes: its data runs into the directory and past the end.
  std::string bytes = archive.Bytes();
  bytes[bytes.size() - 4] = '\xE8';
  bytes[bytes.size() - 3] = '\x03';
  WriteFile(archive_, bytes);
  const std::size_t lastOffset = 16 + 36 + (5 << 20);

  ToolRun mount = Mgarc({"mount", archive_, mountPoint_});
  ASSERT_EQ(mount.exitStatus, 0) << mount.err;
  ASSERT_TRUE(IsMounted(mountPoint_));
  EXPECT_EQ(mount.err,
            "mgarc: ../EVIL: not shown: the name leads out of the mount point\n"
            "mgarc: SE/A.WAV: not shown: an earlier entry is a file where this name needs a "
            "directory\n"
            "mgarc: LAST: cut short: the archive holds " +
                std::to_string(bytes.size() - lastOffset) + " of the entry's 1000 bytes\n");
  EXPECT_EQ(Mgarc({"extract", "-C", extracted_, archive_}).exitStatus, 1);

  const std::vector<std::string> tree = ListTree(extracted_);
  EXPECT_EQ(ListTree(mountPoint_), tree);
  EXPECT_NE(std::find(tree.begin(), tree.end(), "音声/声.TXT"), tree.end());
  EXPECT_NE(std::find(tree.begin(), tree.end(), "DOT/IN"), tree.end());
  std::vector<std::string> files;
  for (const std::string& path : tree) {
    if (path.back() != '/') files.push_back(path);
  }
  for (const std::string& file : files) {
    EXPECT_TRUE(ReadFile(mountPoint_ + "/" + file) == ReadFile(extracted_ + "/" + file)) << file;
  }

  struct stat archiveInfo {};
  struct stat info {};
  ASSERT_EQ(stat(archive_.c_str(), &archiveInfo), 0);
  ASSERT_EQ(stat((mountPoint_ + "/BIG/ONE.WAV").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode, S_IFREG | 0444);
  EXPECT_EQ(info.st_size, 3 << 20);
  EXPECT_EQ(info.st_uid, getuid());
  EXPECT_EQ(info.st_mtime, archiveInfo.st_mtime);
  ASSERT_EQ(stat((mountPoint_ + "/音声").c_str(), &info), 0);
  EXPECT_EQ(info.st_mode, S_IFDIR | 0555);
  EXPECT_EQ(info.st_ctime, archiveInfo.st_mtime);

  // Several readers at once, each through every file, in its own order.
  std::vector<std::thread> readers;
  std::vector<int> mismatches(6, 0);
  for (std::size_t r = 0; r < mismatches.size(); ++r) {
    readers.emplace_back([&, r] {
      for (std::size_t k = 0; k < files.size(); ++k) {
        const std::string& file = files[(k + r) % files.size()];
        if (ReadFile(mountPoint_ + "/" + file) != ReadFile(extracted_ + "/" + file)) {
          ++mismatches[r];
        }
      }
    });
  }
  for (std::thread& reader : readers) reader.join();
  EXPECT_EQ(mismatches, std::vector<int>(mismatches.size(), 0));

  // Read-only even for root.
  const std::string readme = mountPoint_ + "/README.TXT";
  errno = 0;
  EXPECT_EQ(open(readme.c_str(), O_WRONLY), -1);
  EXPECT_EQ(errno, EROFS);
  errno = 0;
  EXPECT_EQ(open((mountPoint_ + "/NEW").c_str(), O_WRONLY | O_CREAT, 0644), -1);
  EXPECT_EQ(errno, EROFS);
  errno = 0;
  EXPECT_EQ(unlink(readme.c_str()), -1);
  EXPECT_EQ(errno, EROFS);
  EXPECT_EQ(ReadFile(readme), "read me");

  // A second mount there is refused: it would hide the first.
  ToolRun again = Mgarc({"mount", archive_, mountPoint_});
  EXPECT_EQ(again.exitStatus, 2);
  EXPECT_EQ(again.err, "mgarc: " + mountPoint_ + ": already a mount point\n");

  ToolRun unmount = Fusermount(mountPoint_);
  EXPECT_EQ(unmount.exitStatus, 0) << unmount.err;
  EXPECT_FALSE(IsMounted(mountPoint_));
  EXPECT_EQ(ListTree(mountPoint_), std::vector<std::string>{});
}

// True once the first page of path is in the system's cache, asked of the
// cache alone (mincore), so that asking reads nothing.
bool FirstPageCached(const std::string& path) {
  const int fd = open(path.c_str(), O_RDONLY);
  if (fd < 0) return false;
  void* map = mmap(nullptr, 1, PROT_READ, MAP_SHARED, fd, 0);
  close(fd);
  if (map == MAP_FAILED) return false;
  unsigned char resident = 0;
  const bool cached = mincore(map, 1, &resident) == 0 && (resident & 1) != 0;
  munmap(map, 1);
  return cached;
}

TEST_F(MgarcMount, AListedDirectorysFilesReachTheCacheWithTheirOwnBytes) {
  // More small files in one directory than the fills read at once.
  TestArchive archive;
  for (int i = 0; i < 60; ++i) {
    archive.entries.push_back({"R\\F" + std::to_string(i), PatternBytes(9000 + i, i + 1)});
  }
  WriteFile(archive_, archive.Bytes());
  ASSERT_EQ(Mgarc({"mount", archive_, mountPoint_}).exitStatus, 0);
  ASSERT_EQ(ListTree(mountPoint_).size(), 61u);  // a listing, and no file read
  const std::string last = mountPoint_ + "/R/F59";
  for (int wait = 0; wait < 5000 && !FirstPageCached(last); ++wait) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  EXPECT_TRUE(FirstPageCached(last)) << "the listing filled no cache";
  for (int i = 0; i < 60; ++i) {
    EXPECT_TRUE(ReadFile(mountPoint_ + "/R/F" + std::to_string(i)) == archive.entries[i].data) << i;
  }
}

TEST_F(MgarcMount, BytesTheArchiveNoLongerHoldsFailToRead) {
  WriteFile(archive_, TestArchive{"VIZ00", {{"A", PatternBytes(5000)}}}.Bytes());
  ASSERT_EQ(Mgarc({"mount", archive_, mountPoint_}).exitStatus, 0);
  ASSERT_EQ(truncate(archive_.c_str(), 100), 0);
  int fd = open((mountPoint_ + "/A").c_str(), O_RDONLY);
  ASSERT_GE(fd, 0);
  char buffer[8192];
  errno = 0;
  EXPECT_EQ(read(fd, buffer, sizeof buffer), -1);
  EXPECT_EQ(errno, EIO);
  close(fd);
  Fusermount(mountPoint_);
}

TEST_F(MgarcMount, InTheForegroundASignalUnmounts) {
  WriteFile(archive_, TestArchive{"ZEL00", {{kVoice, "koe"}}}.Bytes());
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    pid_t child = fork();
    if (child == 0) {
      setsid();
      ExecTool(MGARC_BINARY, {"mount", "-f", archive_, mountPoint_});
    }
    for (int wait = 0; wait < 1000 && !IsMounted(mountPoint_); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    EXPECT_EQ(ReadFile(mountPoint_ + "/音声/声.TXT"), "koe");
    kill(child, signal);
    int status = -1;
    waitpid(child, &status, 0);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_FALSE(IsMounted(mountPoint_)) << signal;
    EXPECT_EQ(ListTree(mountPoint_), std::vector<std::string>{});
  }
}

// Refused before anything is mounted: no FUSE needed.
TEST(MgarcMountRefusal, BadArchiveOrMountPointGivesStatusTwoAndNoMount) {
  TempDir dir;
  const std::string mountPoint = dir / "m";
  mkdir(mountPoint.c_str(), 0755);
  WriteFile(dir / "bad.dat", "PK\x03\x04 not an archive");
  ToolRun bad = Mgarc({"mount", dir / "bad.dat", mountPoint});
  EXPECT_EQ(bad.exitStatus, 2);
  EXPECT_EQ(bad.err, "mgarc: " + (dir / "bad.dat") + ": not a VIZ00 or ZEL00 archive\n");

  WriteFile(dir / "good.dat", TestArchive{"VIZ00", {{"A", "a"}}}.Bytes());
  for (const std::string& where : {dir / "missing", dir / "good.dat"}) {
    ToolRun run = Mgarc({"mount", dir / "good.dat", where});
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.err.rfind("mgarc: " + where + ": ", 0), 0u) << run.err;
    EXPECT_FALSE(IsMounted(where));
  }
  EXPECT_FALSE(IsMounted(mountPoint));
  EXPECT_EQ(Mgarc({"mount", dir / "good.dat"}).exitStatus, 2);  // usage
}

}  // namespace
