// mgarc extract and create run in process with several workers, so that a
// thread sanitizer build watches the workers themselves: the tree must be the
// one a single worker makes, duplicates and clashing names included, and the
// archive the one a single worker writes.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "mgarc/cli/mgarc.h"
#include "test_archive.h"

using namespace mgarc::cli;

namespace {

// Entries in nested directories, in an order that interleaves them, with
// names that come twice (the later wins), a few entries large enough for the
// kernel's range copy, a run of neighbours in one directory larger than one
// read takes, a name that needs an earlier file as a directory, and one that
// leads out of the output directory.
TestArchive ManyEntries() {
  TestArchive archive;
  unsigned seed = 1;
  for (int round = 0; round < 2; ++round) {
    for (int i = 0; i < 240; ++i) {
      std::string name = "D" + std::to_string(i % 6) + "\\";
      if (i % 5 == 0) name += "S" + std::to_string(i % 3) + "\\";
      // The second round repeats every third name of the first.
      int number = round == 1 && i % 3 == 0 ? i : i + 1000 * round;
      name += "F" + std::to_string(number);
      std::size_t size = i % 50 == 7 ? 100 * 1024 + i : static_cast<std::size_t>(i % 97);
      archive.entries.push_back({name, PatternBytes(size, seed++)});
    }
  }
  for (int i = 0; i < 40; ++i) {
    archive.entries.push_back({"R\\F" + std::to_string(i), PatternBytes(9000 + i, seed++)});
  }
  archive.entries.push_back({"D1\\F1\\X", "needs D1\\F1 as a directory"});
  archive.entries.push_back({"..\\ESCAPE", "never written"});
  return archive;
}

// What the archive should give: each name's last data.
std::map<std::string, std::string> ExpectedFiles(const TestArchive& archive) {
  std::map<std::string, std::string> files;
  for (const TestEntry& entry : archive.entries) {
    if (entry.name.find("..") != std::string::npos || entry.name == "D1\\F1\\X") continue;
    std::string path = entry.name;
    for (char& c : path) {
      if (c == '\\') c = '/';
    }
    files[path] = entry.data;
  }
  return files;
}

int Extract(const std::string& archive, const std::string& directory, int workers) {
  return static_cast<int>(RunMgarc(
      {"mgarc", "extract", "-q", "-j", std::to_string(workers), "-C", directory, archive}));
}

void ExpectTree(const std::string& root, const std::map<std::string, std::string>& files) {
  std::vector<std::string> expected;
  for (const auto& [path, data] : files) {
    expected.push_back(path);
    for (std::size_t slash = path.find('/'); slash != std::string::npos;
         slash = path.find('/', slash + 1)) {
      expected.push_back(path.substr(0, slash + 1));
    }
  }
  std::sort(expected.begin(), expected.end());
  expected.erase(std::unique(expected.begin(), expected.end()), expected.end());
  ASSERT_EQ(ListTree(root), expected);
  for (const auto& [path, data] : files) {
    EXPECT_EQ(ReadFile(root + "/" + path), data) << path;
  }
}

TEST(MgarcParallel, FourWorkersMakeTheTreeOneWorkerMakes) {
  TempDir temp;
  const TestArchive archive = ManyEntries();
  const std::string path = temp / "many.dat";
  WriteFile(path, archive.Bytes());
  const std::map<std::string, std::string> files = ExpectedFiles(archive);

  // Status 1 both times: the clashing name and the one that leaves are not written.
  EXPECT_EQ(Extract(path, temp / "one", 1), 1);
  ExpectTree(temp / "one", files);
  EXPECT_EQ(Extract(path, temp / "four", 4), 1);
  ExpectTree(temp / "four", files);
  EXPECT_EQ(ListTree(temp / "four"), ListTree(temp / "one"));
  EXPECT_FALSE(PathExists(temp / "ESCAPE"));
}

TEST(MgarcParallel, FourWorkersReplaceAnExistingTree) {
  TempDir temp;
  const TestArchive archive = ManyEntries();
  const std::string path = temp / "many.dat";
  WriteFile(path, archive.Bytes());
  // Every file there already, with other bytes.
  for (const auto& [name, data] : ExpectedFiles(archive)) {
    std::filesystem::create_directories(
        std::filesystem::path(temp / ("out/" + name)).parent_path());
    WriteFile(temp / ("out/" + name), "old " + name);
  }

  EXPECT_EQ(
      RunMgarc({"mgarc", "extract", "-q", "--overwrite", "-j", "4", "-C", temp / "out", path}),
      mgarc::cli::ExitStatus::kIncomplete);
  ExpectTree(temp / "out", ExpectedFiles(archive));
}

TEST(MgarcParallel, FourWorkersWalkAndPackTheTreeOneWorkerPacks) {
  TempDir temp;
  const std::string path = temp / "many.dat";
  WriteFile(path, ManyEntries().Bytes());
  ASSERT_EQ(Extract(path, temp / "tree", 1), 1);
  // A link back up and an empty directory, below the top: the workers that
  // read them are not the ones that read their parents.
  std::filesystem::create_directory_symlink(temp / "tree", temp / "tree/D1/S1/UP");
  std::filesystem::create_directories(temp / "tree/D2/S2/EMPTY");
  for (int workers : {1, 4}) {
    const std::string made = temp / ("made" + std::to_string(workers) + ".dat");
    EXPECT_EQ(
        RunMgarc({"mgarc", "create", "-q", "-j", std::to_string(workers), made, temp / "tree"}),
        mgarc::cli::ExitStatus::kDone);
  }
  EXPECT_TRUE(ReadFile(temp / "made4.dat") == ReadFile(temp / "made1.dat"));
  EXPECT_GT(ReadFile(temp / "made1.dat").size(), 480u * 16);
}

TEST(MgarcParallel, TheLastEntryOfOnePathWinsForAnyWorkers) {
  TempDir temp;
  TestArchive archive;
  // Two spellings of A/B and of 纊/B; each later one goes into a directory
  // that an entry before the earlier one opened, so that taking the
  // directories in turn would write the earlier spelling last.
  archive.entries.push_back({"A\\.\\Z", "z"});
  archive.entries.push_back({"A\\B", "first"});
  archive.entries.push_back({"A\\.\\B", "last"});
  archive.entries.push_back({"\xFA\x5C\\Z", "z"});
  archive.entries.push_back({"\xED\x40\\B", "first"});
  archive.entries.push_back({"\xFA\x5C\\B", "last"});
  const std::string path = temp / "same.dat";
  WriteFile(path, archive.Bytes());

  for (int workers : {1, 4}) {
    const std::string out = temp / ("out" + std::to_string(workers));
    EXPECT_EQ(Extract(path, out, workers), 0);
    EXPECT_EQ(ReadFile(out + "/A/B"), "last") << workers << " workers";
    EXPECT_EQ(ReadFile(out + "/\u7E8A/B"), "last") << workers << " workers";
  }
}

}  // namespace
