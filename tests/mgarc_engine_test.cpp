// The engine driven as a window would drive it: through an observer that
// records what it hears and asks it to stop.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "mgarc/engine/apply.h"
#include "mgarc/engine/cat.h"
#include "mgarc/engine/create.h"
#include "mgarc/engine/diff.h"
#include "mgarc/engine/extract.h"
#include "mgarc/engine/verify.h"
#include "test_archive.h"

using namespace mgarc::engine;

namespace {

// Records what it hears; asks to stop from the first question on when
// stopping, once ready() (awaited at the first progress report) holds.
class RecordingObserver : public Observer {
 public:
  RecordingObserver(bool stopping, std::function<bool()> ready = {})
      : stopping_(stopping), ready_(std::move(ready)) {}
  void Progressed(const Progress& progress) override {
    if (progress_.empty() && ready_) {
      auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (!ready_() && std::chrono::steady_clock::now() < deadline) {
      }
    }
    progress_.push_back(progress);
  }
  void ProblemFound(const Problem& problem) override { problems_.push_back(problem); }
  void ItemDone(const std::string& line) override { items_.push_back(line); }
  bool StopRequested() override { return stopping_; }

  std::vector<Progress> progress_;
  std::vector<Problem> problems_;
  std::vector<std::string> items_;

 private:
  const bool stopping_;
  const std::function<bool()> ready_;
};

// Files in one directory, which one worker writes in the archive's order.
TestArchive ManySmallEntries() {
  TestArchive archive;
  for (int i = 0; i < 4000; ++i) {
    archive.entries.push_back({"F" + std::to_string(i), PatternBytes(700, i + 1)});
  }
  return archive;
}

TEST(MgarcEngine, AStoppedExtractionLeavesOnlyWholeFilesOfTheEntriesItReported) {
  TempDir temp;
  const TestArchive archive = ManySmallEntries();
  WriteFile(temp / "MANY.DAT", archive.Bytes());
  ExtractOptions options;
  options.archive = temp / "MANY.DAT";
  options.directory = temp / "out";
  options.workers = 1;
  // Stops once the worker is under way: its eleventh file is there.
  RecordingObserver observer(true, [&] { return PathExists(temp / "out/F10"); });

  ExtractResult result = Extract(options, observer);

  EXPECT_FALSE(result.refused);
  EXPECT_TRUE(result.stopped);
  EXPECT_TRUE(observer.problems_.empty());
  ASSERT_FALSE(observer.progress_.empty());
  EXPECT_EQ(observer.progress_.front().items, archive.entries.size());
  EXPECT_GE(observer.items_.size(), 10u);
  EXPECT_LT(observer.items_.size(), archive.entries.size());
  // One worker writes in the archive's order: what it reported is what lies on
  // disk, each file whole, and no later entry (not the one it was writing).
  std::vector<std::string> expectedTree;
  for (std::size_t i = 0; i < observer.items_.size(); ++i) {
    const TestEntry& entry = archive.entries[i];
    const std::string& relative = entry.name;
    EXPECT_EQ(observer.items_[i], options.directory + "/" + relative);
    EXPECT_EQ(ReadFile(temp / ("out/" + relative)), entry.data) << relative;
    expectedTree.push_back(relative);
  }
  std::vector<std::string> tree;
  for (const std::string& path : ListTree(temp / "out")) {
    if (path.back() != '/') tree.push_back(path);
  }
  std::sort(expectedTree.begin(), expectedTree.end());
  EXPECT_EQ(tree, expectedTree);
  EXPECT_LE(observer.progress_.back().itemsDone, archive.entries.size());
}

TEST(MgarcEngine, AnExtractionNotStoppedReportsEveryEntry) {
  TempDir temp;
  TestArchive archive;
  archive.entries = {{"A", "one"}, {"B\\C", "two"}};
  WriteFile(temp / "TWO.DAT", archive.Bytes());
  ExtractOptions options;
  options.archive = temp / "TWO.DAT";
  options.directory = temp / "out";
  options.patterns = {"A", "NONE"};
  RecordingObserver observer(false);

  ExtractResult result = Extract(options, observer);

  EXPECT_FALSE(result.stopped);
  EXPECT_TRUE(result.allWritten);
  EXPECT_FALSE(result.allMatched);
  ASSERT_EQ(observer.problems_.size(), 1u);
  EXPECT_EQ(observer.problems_[0].subject, "NONE");
  EXPECT_EQ(observer.problems_[0].reason, "no entry matches");
  EXPECT_EQ(observer.items_, std::vector<std::string>{options.directory + "/A"});
  EXPECT_EQ(ReadFile(temp / "out/A"), "one");
  EXPECT_FALSE(PathExists(temp / "out/B"));
}

// What a window asks: entries chosen by name (literal, case ignored), and
// the files left that differ, named so that they can be asked about.
TEST(MgarcEngine, EntriesChosenByNameAndTheDifferingFilesKeptAreNamed) {
  TempDir temp;
  TestArchive archive;
  archive.entries = {{"A[1]*.TXT", "one"}, {"B\\C.TXT", "two"}, {"B\\D.TXT", "three"}};
  WriteFile(temp / "NAMES.DAT", archive.Bytes());
  ExtractOptions options;
  options.archive = temp / "NAMES.DAT";
  options.directory = temp / "out";
  options.names = {"a[1]*.txt", "B/D.TXT", "B/NONE"};
  std::filesystem::create_directories(temp / "out/B");
  WriteFile(temp / "out/B/D.TXT", "edited");
  RecordingObserver observer(false);

  ExtractResult result = Extract(options, observer);

  EXPECT_FALSE(result.allMatched);
  EXPECT_EQ(ReadFile(temp / "out/A[1]*.TXT"), "one");
  EXPECT_FALSE(PathExists(temp / "out/B/C.TXT"));
  EXPECT_EQ(ReadFile(temp / "out/B/D.TXT"), "edited");
  EXPECT_EQ(result.kept, std::vector<std::string>{"B/D.TXT"});
  ASSERT_EQ(observer.problems_.size(), 2u);
  EXPECT_EQ(observer.problems_[0].subject, "B/NONE");
  EXPECT_EQ(observer.problems_[0].reason, "no entry has this name");
}

// Reading that stops between blocks: verify says it was stopped and judges
// nothing; cat gives no block after the one whose write said no.
TEST(MgarcEngine, VerifyAndCatStopBetweenBlocks) {
  TempDir temp;
  TestArchive archive;
  archive.entries = {{"BIG", PatternBytes(3 << 20, 7)}};
  WriteFile(temp / "BIG.DAT", archive.Bytes());

  RecordingObserver stopping(true);
  VerifyResult verified = Verify(temp / "BIG.DAT", stopping);
  EXPECT_FALSE(verified.refused);
  EXPECT_TRUE(verified.stopped);
  EXPECT_TRUE(verified.findings.empty());
  ASSERT_FALSE(stopping.progress_.empty());
  EXPECT_LT(stopping.progress_.back().bytesDone, stopping.progress_.back().bytes);

  std::string given;
  CatResult cat = Cat({temp / "BIG.DAT", "big"}, SilentObserver(),
                      [&given](const unsigned char* bytes, std::size_t size) {
                        given.append(reinterpret_cast<const char*>(bytes), size);
                        return false;
                      });
  EXPECT_FALSE(cat.refused);
  EXPECT_TRUE(cat.stopped);
  EXPECT_EQ(given, archive.entries[0].data.substr(0, given.size()));
  EXPECT_LT(given.size(), archive.entries[0].data.size());
}

// A create stopped at the first question: the archive it would replace stays
// as it was, and no other file is left beside it.
TEST(MgarcEngine, AStoppedCreateLeavesTheOldArchive) {
  TempDir temp;
  const TestArchive many = ManySmallEntries();
  std::filesystem::create_directory(temp / "tree");
  for (const TestEntry& entry : many.entries) WriteFile(temp / ("tree/" + entry.name), entry.data);
  WriteFile(temp / "OLD.DAT", "old bytes");
  CreateOptions options;
  options.archive = temp / "OLD.DAT";
  options.directory = temp / "tree";
  options.workers = 1;
  options.replaceExisting = true;
  RecordingObserver observer(true);

  CreateResult result = Create(options, observer);

  EXPECT_FALSE(result.refused);
  EXPECT_TRUE(result.stopped);
  EXPECT_LT(observer.items_.size(), many.entries.size());
  EXPECT_EQ(ReadFile(temp / "OLD.DAT"), "old bytes");
  std::vector<std::string> files;
  for (const std::string& path : ListTree(temp.path())) {
    if (path.rfind("tree/", 0) != 0) files.push_back(path);
  }
  EXPECT_EQ(files, std::vector<std::string>{"OLD.DAT"});
}

// A patch of thousands of pieces (every other entry of ManySmallEntries
// changed), stopped at the first question.
TEST(MgarcEngine, AStoppedApplyWritesNothingAndTheSamePatchAppliesAfterwards) {
  TempDir temp;
  const TestArchive before = ManySmallEntries();
  TestArchive after = before;
  for (std::size_t i = 0; i < after.entries.size(); i += 2) {
    after.entries[i].data = PatternBytes(700, static_cast<unsigned>(i) + 9000);
  }
  WriteFile(temp / "OLD.DAT", before.Bytes());
  WriteFile(temp / "NEW.DAT", after.Bytes());
  DiffOptions diff;
  diff.oldArchive = temp / "OLD.DAT";
  diff.newArchive = temp / "NEW.DAT";
  diff.patch = temp / "P.PAT";
  ASSERT_FALSE(Diff(diff, SilentObserver()).refused);
  ApplyOptions options;
  options.patch = diff.patch;
  options.archive = diff.oldArchive;
  options.workers = 1;
  RecordingObserver stopping(true);

  ApplyResult result = Apply(options, stopping);

  EXPECT_FALSE(result.refused);
  EXPECT_TRUE(result.stopped);
  EXPECT_TRUE(stopping.problems_.empty());
  EXPECT_EQ(ReadFile(temp / "OLD.DAT"), before.Bytes());
  EXPECT_EQ(ListTree(temp.path()), (std::vector<std::string>{"NEW.DAT", "OLD.DAT", "P.PAT"}));

  // The archive is still OLD: the patch applies, and then finds it up to date.
  RecordingObserver going(false);
  result = Apply(options, going);
  EXPECT_FALSE(result.refused);
  EXPECT_FALSE(result.stopped);
  EXPECT_EQ(ReadFile(temp / "OLD.DAT"), after.Bytes());
  // Progress is told in NEW's entries, never in the patch's pieces.
  ASSERT_FALSE(going.progress_.empty());
  for (std::size_t i = 0; i < going.progress_.size(); ++i) {
    EXPECT_EQ(going.progress_[i].items, after.entries.size());
    if (i > 0) {
      EXPECT_GE(going.progress_[i].itemsDone, going.progress_[i - 1].itemsDone);
    }
  }
  EXPECT_EQ(going.progress_.back().itemsDone, after.entries.size());
  result = Apply(options, going);
  EXPECT_FALSE(result.refused);
  EXPECT_EQ(result.fit, PatchFit::kAlreadyApplied);
}

}  // namespace
