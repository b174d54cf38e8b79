#include "marrowgilder/engine/directory_creation.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "archive/path_rules.h"
#include "test_archive.h"

using marrowgilder::engine::BeginDirectoryWalk;
using marrowgilder::engine::DirectoryWalk;
using marrowgilder::engine::kSlotSize;
using marrowgilder::engine::MakeDirectoryPath;
using marrowgilder::engine::NameTable;
using marrowgilder::engine::NextDirectory;
using marrowgilder::engine::RunDirectoryPass;
using marrowgilder::engine::SlotSizeFor;

namespace {

std::vector<std::string> Walk(const std::string& path, const PathRules& rules) {
  DirectoryWalk walk{};
  BeginDirectoryWalk(walk, path.c_str(), rules);
  std::vector<std::string> partials;
  while (NextDirectory(walk)) partials.emplace_back(walk.partial);
  return partials;
}

using Partials = std::vector<std::string>;

TEST(DirectoryWalk, WindowsPartialPathsFromTheTopDown) {
  struct Case {
    const char* path;
    Partials partials;
  };
  for (const Case& c : {
           Case{"D:\\Test\\SE\\A.WAV", {"D:\\Test\\", "D:\\Test\\SE\\"}},
           Case{"D:\\A.BIN", {}},
           Case{"D:\\Test\\\\SE\\A.WAV", {"D:\\Test\\", "D:\\Test\\SE\\"}},
           Case{"D:\\Test\\SE\\", {"D:\\Test\\", "D:\\Test\\SE\\"}},
           Case{"D:\\Test\\..\\Out\\X.BIN",
                {"D:\\Test\\", "D:\\Test\\..\\", "D:\\Test\\..\\Out\\"}},
           Case{"D:\\a/b\\X.BIN", {"D:\\a/b\\"}},
           // Only a path that begins with a separator starts at a root; a
           // relative one, also after a drive, stays relative.
           Case{"\\Test\\A.BIN", {"\\Test\\"}},
           Case{"M:\\OUT\\A.BIN", {"M:\\OUT\\"}},
           Case{"OUT\\A.BIN", {"OUT\\"}},
           Case{"OUT\\SE\\A.WAV", {"OUT\\", "OUT\\SE\\"}},
           Case{"REL\\SUB\\A.BIN", {"REL\\", "REL\\SUB\\"}},
           Case{"M:OUT\\A.BIN", {"M:OUT\\"}},
           Case{"M:OUT\\SE\\A.WAV", {"M:OUT\\", "M:OUT\\SE\\"}},
           Case{"A.BIN", {}},
           Case{"M:A.BIN", {}},
       }) {
    EXPECT_EQ(Walk(c.path, kWindowsRules), c.partials) << c.path;
  }
}

TEST(DirectoryWalk, DoubleByteCharactersStayWhole) {
  const std::string hyo = "\x95\x5C";  // 表
  EXPECT_EQ(Walk("D:\\" + hyo + "\x8E\xA6\\A.BIN", kWindowsRules),
            Partials{"D:\\" + hyo + "\x8E\xA6\\"});
  EXPECT_EQ(Walk("D:\\" + hyo + "\\SE\\A.WAV", kWindowsRules),
            (Partials{"D:\\" + hyo + "\\", "D:\\" + hyo + "\\SE\\"}));
}

TEST(DirectoryWalk, LinuxPathsKeepTheirOwnRoot) {
  EXPECT_EQ(Walk("/tmp/out/SE/A.WAV", kLinuxRules),
            (Partials{"/tmp/", "/tmp/out/", "/tmp/out/SE/"}));
  EXPECT_EQ(Walk("out/SE/A.WAV", kLinuxRules), (Partials{"out/", "out/SE/"}));
  EXPECT_EQ(Walk("/A.BIN", kLinuxRules), Partials{});
  EXPECT_EQ(Walk("a\\b/c", kLinuxRules), Partials{"a\\b/"});
}

TEST(DirectoryWalk, NoLimitOnTheNumberOfLevels) {
  Partials partials = Walk("/a/b/c/d/e/f/g/h/i/j/X", kLinuxRules);
  ASSERT_EQ(partials.size(), 10u);
  EXPECT_EQ(partials.back(), "/a/b/c/d/e/f/g/h/i/j/");
}

TEST(SlotSize, HoldsA113ByteDirectoryAndTheWidestNameOfEachHost) {
  EXPECT_EQ(SlotSizeFor(kWindowsRules), 127u);
  EXPECT_EQ(SlotSizeFor(kLinuxRules), 113u + 1u + 12u * 3u + 1u);  // 3 bytes per katakana
}

TEST(MakeDirectoryPath, CreatesEveryMissingLevelAndAcceptsExistingOnes) {
  TempDir dir;
  std::string path = dir / "a/b/c/d/e/f/g/h/FILE.BIN";
  MakeDirectoryPath(path.c_str(), kHostRules);
  MakeDirectoryPath(path.c_str(), kHostRules);
  EXPECT_EQ(ListTree(dir.path()), (Partials{"a/", "a/b/", "a/b/c/", "a/b/c/d/", "a/b/c/d/e/",
                                            "a/b/c/d/e/f/", "a/b/c/d/e/f/g/", "a/b/c/d/e/f/g/h/"}));
}

class DirectoryPass : public ::testing::Test {
 protected:
  void Fill(const std::vector<std::string>& paths) {
    count_ = static_cast<int>(paths.size());
    for (int i = 0; i < count_; ++i) {
      table_->slots[i] = ZeroBlock(kSlotSize, BlockHeap::kLocal);
      std::string full = dir_ / paths[i];
      full.copy(table_->slots[i].chars(), full.size());
    }
  }
  TempDir dir_;
  std::unique_ptr<NameTable> table_ = std::make_unique<NameTable>();
  int count_ = 0;
};

TEST_F(DirectoryPass, DirectoriesDifferingInCaseAreOneOnlyWhereTheHostSaysSo) {
  Fill({"SE/A.WAV", "se/B.WAV", "SE/C.WAV", "BGM/D.OGG", "E.TXT"});
  RunDirectoryPass(*table_, count_, kHostRules);
  if (kHostRules.foldCase) {
    EXPECT_EQ(ListTree(dir_.path()), (std::vector<std::string>{"BGM/", "SE/"}));
  } else {
    EXPECT_EQ(ListTree(dir_.path()), (std::vector<std::string>{"BGM/", "SE/", "se/"}));
  }
}

TEST_F(DirectoryPass, EntriesLeavingTheOutputAreNotFollowed) {
  Fill({"in/A.TXT", "../escaped/B.TXT"});
  table_->refusal[1] = NameRefusal::kLeavesOutput;
  RunDirectoryPass(*table_, count_, kHostRules);
  EXPECT_FALSE(PathExists(dir_ / "../escaped"));
  EXPECT_EQ(ListTree(dir_.path()), std::vector<std::string>{"in/"});
}

TEST_F(DirectoryPass, NoEntriesNoDirectories) {
  Fill({"SE/A.WAV"});
  RunDirectoryPass(*table_, 0, kHostRules);
  EXPECT_TRUE(ListTree(dir_.path()).empty());
}

}  // namespace
