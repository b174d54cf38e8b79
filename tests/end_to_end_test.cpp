// Runs the built tool on archives made here, as a user would from a script.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "run_tool.h"
#include "test_archive.h"

namespace {

const std::string kAllocationLine = "MemAllocating" + std::string(50, '.') + "Done!\n";

std::string Prompt(int count) {
  return std::to_string(count) +
         "個のデータが見つかりました。\n何番目のデータから抽出をはじめますか？\n";
}

class EndToEnd : public ::testing::Test {
 protected:
  ToolRun Extract(const std::string& identifier, const TestArchive& archive,
                  const std::string& reply, const std::string& outputDirectory) {
    WriteFile(archivePath_, archive.Bytes());
    return RunTool(MARROWGILDER_BINARY, {identifier, archivePath_, outputDirectory}, reply);
  }
  TempDir dir_;
  std::string archivePath_ = dir_ / "game.dat";
  std::string out_ = dir_ / "out";
  TestArchive twoEntries_{"VIZ00", {{"A.TXT", "abc"}, {"B.TXT", "de"}}};
};

TEST_F(EndToEnd, CompleteRunPrintsExactlyItsDialogue) {
  mkdir(out_.c_str(), 0777);
  ToolRun run = Extract("TK", twoEntries_, "1\n", out_);
  EXPECT_EQ(run.out, kAllocationLine + Prompt(2) + "Loading : No.   1/   2 -->" + out_ +
                         "/A.TXT\nLoading : No.   2/   2 -->" + out_ + "/B.TXT\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ReadFile(out_ + "/A.TXT"), "abc");
  EXPECT_EQ(ReadFile(out_ + "/B.TXT"), "de");
}

TEST_F(EndToEnd, ControlCharactersOfANameAreShownAsQuestionMarks) {
  const std::string name = "\x1B]0;X\x07.TXT";
  ToolRun run = Extract("TK", TestArchive{"VIZ00", {{name, "e"}}}, "1\n", out_);
  EXPECT_EQ(run.out,
            kAllocationLine + Prompt(1) + "Loading : No.   1/   1 -->" + out_ + "/?]0;X?.TXT\n");
  EXPECT_EQ(ReadFile(out_ + "/" + name), "e");
}

TEST_F(EndToEnd, TrailingSeparatorGivesTheSamePaths) {
  ToolRun run = Extract("tk", twoEntries_, "2\n", out_ + "/");
  EXPECT_EQ(run.out,
            kAllocationLine + Prompt(2) + "Loading : No.   2/   2 -->" + out_ + "/B.TXT\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ListTree(out_), std::vector<std::string>{"B.TXT"});
}

TEST_F(EndToEnd, FreshTreeWithJapaneseNamesInSubdirectories) {
  TestArchive archive{"ZEL00",
                      {{"\x89\xB9\x90\xBA\\\x90\xBA.TXT", "voice"},  // 音声\声.TXT
                       {"\x95\x5C\\\x83\x5C.TXT", "so"},             // 表\ソ.TXT
                       {"\x95\x5C\\\x81\x60.TXT", "wave"},           // 表\～.TXT
                       {"SE\\BGM\\A.OGG", ""},
                       {"se\\B.WAV", "b"}}};
  std::string deep = out_ + "/several/levels";
  ToolRun run = Extract("IG", archive, "1\n", deep);
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ListTree(deep),
            (std::vector<std::string>{"SE/", "SE/BGM/", "SE/BGM/A.OGG", "se/", "se/B.WAV", "表/",
                                      "表/ソ.TXT", "表/～.TXT", "音声/", "音声/声.TXT"}));
  EXPECT_EQ(ReadFile(deep + "/音声/声.TXT"), "voice");
  EXPECT_EQ(ReadFile(deep + "/表/～.TXT"), "wave");
  EXPECT_NE(run.out.find("Loading : No.   2/   5 -->" + deep + "/表/ソ.TXT\n"), std::string::npos);
}

TEST_F(EndToEnd, RelativeOutputDirectoryStaysRelative) {
  WriteFile(archivePath_, TestArchive{"VIZ00", {{"SE\\A.WAV", "a"}}}.Bytes());
  ToolRun run =
      RunTool(MARROWGILDER_BINARY, {"GL", "game.dat", "rel/out"}, "1\n", InDirectory(dir_.path()));
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ReadFile(dir_ / "rel/out/SE/A.WAV"), "a");
}

TEST_F(EndToEnd, StartingEntryChoosesWhatIsWritten) {
  TestArchive archive{"VIZ00", {{"1", "1"}, {"2", "2"}, {"3", "3"}}};
  ToolRun last = Extract("TK", archive, "3\n", out_);
  EXPECT_EQ(last.out, kAllocationLine + Prompt(3) + "Loading : No.   3/   3 -->" + out_ + "/3\n");
  EXPECT_EQ(ListTree(out_), std::vector<std::string>{"3"});
  ToolRun trailing = Extract("TK", archive, " 2x and more text\n", out_);
  EXPECT_EQ(ListTree(out_), (std::vector<std::string>{"2", "3"}));
  EXPECT_EQ(trailing.exitStatus, 0);
}

TEST_F(EndToEnd, RefusedRepliesStopAfterTheDirectoryPass) {
  TestArchive archive{"VIZ00", {{"SE\\A.WAV", "a"}, {"BGM\\B.OGG", "b"}}};
  struct Case {
    const char* reply;
    const char* report;
  };
  for (const Case& c :
       {Case{"\n", "Fatal-Err: Index UnderFlow!\n"}, Case{"", "Fatal-Err: Index UnderFlow!\n"},
        Case{"abc\n", "Fatal-Err: Index UnderFlow!\n"},
        Case{"0\n", "Fatal-Err: Index UnderFlow!\n"}, Case{"-1\n", "Fatal-Err: Index UnderFlow!\n"},
        Case{"3\n", "Fatal-Err: Index Over Flow!\n"},
        Case{"99999999999999999999\n", "Fatal-Err: Index Over Flow!\n"}}) {
    ToolRun run = Extract("TK", archive, c.reply, out_);
    EXPECT_EQ(run.out, kAllocationLine + Prompt(2)) << c.reply;
    EXPECT_EQ(run.err, c.report) << c.reply;
    EXPECT_EQ(run.exitStatus, 2) << c.reply;
    EXPECT_EQ(ListTree(out_), (std::vector<std::string>{"BGM/", "SE/"})) << c.reply;
  }
}

TEST_F(EndToEnd, EmptyArchiveCreatesNothing) {
  for (const char* reply : {"0\n", "1\n"}) {
    ToolRun run = Extract("TK", TestArchive{"VIZ00", {}}, reply, out_);
    EXPECT_EQ(run.out, kAllocationLine + Prompt(0));
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_FALSE(PathExists(out_));
  }
}

TEST_F(EndToEnd, ArchiveRefusalsComeBeforeThePrompt) {
  struct Case {
    std::string identifier;
    std::string bytes;
    std::string report;
  };
  std::vector<Case> cases = {
      {"TK", TestArchive{"ZEL00", {}}.Bytes(), "Err: Invalid File Format!\n"},
      {"IG", TestArchive{"VIZ00", {}}.Bytes(), "Err: Invalid File Format!\n"},
      {"TK", "", "Err: Invalid File Format!\n"},
      {"TK", "VIZ01xxxxxxxxxxxxxx", "Err: This File Is No Supported!\n"},
      {"TK", "xVIZ0", "Err: This File Is No Supported!\n"},
  };
  for (const Case& c : cases) {
    WriteFile(archivePath_, c.bytes);
    ToolRun run = RunTool(MARROWGILDER_BINARY, {c.identifier, archivePath_, out_}, "1\n");
    EXPECT_EQ(run.out, kAllocationLine);
    EXPECT_EQ(run.err, c.report);
    EXPECT_EQ(run.exitStatus, 2);
  }
  ToolRun missing = RunTool(MARROWGILDER_BINARY, {"TK", dir_ / "none.dat", out_}, "1\n");
  EXPECT_EQ(missing.out, kAllocationLine);
  EXPECT_EQ(missing.err, "Error!: File Not Found!\n");
  EXPECT_EQ(missing.exitStatus, 2);
  ToolRun directory = RunTool(MARROWGILDER_BINARY, {"TK", dir_.path(), out_}, "1\n");
  EXPECT_EQ(directory.err, "Error!: File Not Found!\n");
  EXPECT_FALSE(PathExists(out_));
}

TEST_F(EndToEnd, MoreThan5000EntriesAreRefused) {
  TestArchive archive{"VIZ00", {}};
  for (int i = 0; i < 5001; ++i) archive.entries.push_back({"F" + std::to_string(i), "x"});
  ToolRun run = Extract("TK", archive, "1\n", out_);
  EXPECT_EQ(run.out, kAllocationLine);
  EXPECT_EQ(run.err, "Err: Too Many Entries! (5001 in the archive, at most 5000)\n");
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_FALSE(PathExists(out_));

  archive.entries.pop_back();
  ToolRun full = Extract("TK", archive, "5000\n", out_);
  EXPECT_EQ(full.exitStatus, 0) << full.err;
  EXPECT_EQ(ReadFile(out_ + "/F4999"), "x");
}

TEST_F(EndToEnd, OutputDirectoryOf113BytesFitsTheWidestName) {
  // Twelve half-width katakana: 12 bytes stored, 36 in UTF-8.
  TestArchive widest{"VIZ00", {{std::string(12, '\xB1'), "x"}}};
  std::string katakana;
  for (int i = 0; i < 12; ++i) katakana += "ｱ";
  std::string fits = dir_.path() + "/" + std::string(112 - dir_.path().size(), 'd');
  ASSERT_EQ(fits.size(), 113u);
  ToolRun ok = Extract("TK", widest, "1\n", fits);
  EXPECT_EQ(ok.exitStatus, 0) << ok.err;
  EXPECT_EQ(ReadFile(fits + "/" + katakana), "x");

  ToolRun tooLong = Extract("TK", widest, "1\n", fits + "e");
  EXPECT_EQ(tooLong.out, kAllocationLine);
  EXPECT_EQ(tooLong.err, "Err: Output Path Too Long!\n");
  EXPECT_EQ(tooLong.exitStatus, 2);
  EXPECT_FALSE(PathExists(fits + "e"));
}

TEST_F(EndToEnd, NamesLeavingTheOutputDirectoryAreNotWritten) {
  std::string sentinel = dir_ / "SENT.TXT";
  WriteFile(sentinel, "untouched");
  TestArchive archive{"VIZ00",
                      {{"GOOD.TXT", "good"},
                       {"..\\SENT.TXT", "evil"},
                       {"A\\..\\..\\X", "evil"},
                       {"LAST.TXT", "last"}}};
  ToolRun run = Extract("TK", archive, "1\n", out_);
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFile(sentinel), "untouched");
  EXPECT_FALSE(PathExists(dir_ / "X"));
  EXPECT_EQ(ListTree(out_), (std::vector<std::string>{"GOOD.TXT", "LAST.TXT"}));
  EXPECT_NE(run.err.find("Skipped : No.   2/   4 -->" + out_ + "/../SENT.TXT"), std::string::npos)
      << run.err;
  EXPECT_NE(run.err.find("Skipped : No.   3/   4"), std::string::npos) << run.err;
}

TEST_F(EndToEnd, EntriesNotWrittenWholeGiveStatusOne) {
  TestArchive archive{"VIZ00", {{"A.TXT", "abc"}, {"B.TXT", "de"}}};
  std::string bytes = archive.Bytes();
  // Announce B.TXT as 1000 bytes: its span runs past the end of the file.
  bytes[49] = '\xE8';
  bytes[50] = '\x03';
  WriteFile(archivePath_, bytes);
  ToolRun run = RunTool(MARROWGILDER_BINARY, {"TK", archivePath_, out_}, "1\n");
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFile(out_ + "/A.TXT"), "abc");
  // Only the bytes that exist: "de" and the directory after them, never stale buffer bytes.
  EXPECT_EQ(ReadFile(out_ + "/B.TXT"), bytes.substr(19));
  EXPECT_NE(run.err.find(out_ + "/B.TXT: cut short"), std::string::npos) << run.err;
}

TEST_F(EndToEnd, OutputNamingTheArchiveIsSkipped) {
  mkdir(out_.c_str(), 0777);
  std::string inside = out_ + "/GAME.DAT";
  WriteFile(inside, TestArchive{"VIZ00", {{"GAME.DAT", "overwritten"}, {"B", "b"}}}.Bytes());
  std::string before = ReadFile(inside);
  ToolRun run = RunTool(MARROWGILDER_BINARY, {"TK", inside, out_}, "1\n");
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ReadFile(inside), before);
  EXPECT_EQ(ReadFile(out_ + "/B"), "b");
}

TEST_F(EndToEnd, SilentPaths) {
  WriteFile(archivePath_, twoEntries_.Bytes());
  std::vector<std::vector<std::string>> argumentLists = {
      {},
      {archivePath_, out_},
      {"TK", archivePath_, out_, "extra"},
      {"TestGame", archivePath_, out_},
      {"xtky", archivePath_, out_},
      {"?", archivePath_, out_},
  };
  for (const auto& arguments : argumentLists) {
    ToolRun run = RunTool(MARROWGILDER_BINARY, arguments, "1\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err, "");
    EXPECT_EQ(run.exitStatus, 0);
  }
  EXPECT_FALSE(PathExists(out_));
}

TEST(SampleArchive, ExtractsToTheDocumentedTree) {
  TempDir dir;
  ToolRun run = RunTool(MARROWGILDER_BINARY, {"TK", MARROWGILDER_SAMPLE, dir.path()}, "1\n");
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ListTree(dir.path()),
            (std::vector<std::string>{"README.TXT", "SE/", "SE/DOOR.WAV", "SE/STEP.WAV", "表/",
                                      "表/ソ.TXT", "音声/", "音声/声.TXT"}));
}

}  // namespace
