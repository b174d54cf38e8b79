// Sums of entries in sha256sum's format: the lines written, the lines read
// back, and an archive checked against them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mgarc/engine/entry_sums.h"
#include "test_archive.h"

using namespace mgarc::engine;

namespace {

// sha256("abc") and sha256("").
const std::string kAbc = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
const std::string kEmpty = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(EntrySums, LinesAreWrittenAndReadAsSha256sumHasThem) {
  const Sha256Digest abc = Sha256Of("abc", 3);
  EXPECT_EQ(SumsLine(abc, "音声/声.TXT"), kAbc + "  音声/声.TXT");
  EXPECT_EQ(SumsLine(abc, "X\\x85@.BIN"), "\\" + kAbc + "  X\\\\x85@.BIN");

  struct Case {
    const char* what;
    std::string text;
    SumsList expected;  // empty with problem
    std::string problem;
  };
  const Case cases[] = {
      {"two lines, a blank one, a binary mark, ./ and CRLF",
       kAbc + "  A.TXT\n\n" + kEmpty + " *./SE/B.WAV\r\n",
       {{"A.TXT", abc}, {"SE/B.WAV", Sha256Of("", 0)}},
       ""},
      {"an escaped name", "\\" + kAbc + "  X\\\\x85@.BIN\n", {{"X\\x85@.BIN", abc}}, ""},
      {"upper-case hex",
       "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD  A\n",
       {{"A", abc}},
       ""},
      {"one space only", kAbc + " A.TXT\n", {}, "line 1"},
      {"a short hash", kAbc.substr(1) + "  A.TXT\n", {}, "line 1"},
      {"no name", "\n" + kAbc + "  \n", {}, "line 2"},
  };
  TempDir temp;
  for (const Case& c : cases) {
    WriteFile(temp / "SUMS", c.text);
    SumsList read;
    std::optional<Problem> problem = ReadSums(temp / "SUMS", read);
    if (c.problem.empty()) {
      EXPECT_FALSE(problem) << c.what << ": " << problem->reason;
      EXPECT_EQ(read, c.expected) << c.what;
    } else {
      ASSERT_TRUE(problem) << c.what;
      EXPECT_EQ(problem->reason.rfind(c.problem + " is not a sum", 0), 0u) << problem->reason;
    }
  }
}

TEST(EntrySums, AnArchiveIsCheckedByNameAndByItsEveryCopyOfAName) {
  TempDir temp;
  // A.TXT twice: the second copy pairs with the second line of it.
  WriteFile(temp / "G.DAT",
            TestArchive{"VIZ00", {{"A.TXT", "abc"}, {"B.TXT", "b"}, {"A.TXT", "x"}, {"NEW", ""}}}
                .Bytes());
  ArchiveView archive;
  ASSERT_FALSE(LoadArchive(temp / "G.DAT", archive));
  EntrySums sums = HashEntries(archive, 3, false, SilentObserver());
  ASSERT_FALSE(sums.refused);
  ASSERT_EQ(sums.digests.size(), 4u);
  EXPECT_EQ(*sums.digests[0], Sha256Of("abc", 3));

  const SumsList listed = {{"A.TXT", Sha256Of("abc", 3)},
                           {"GONE.TXT", Sha256Of("", 0)},
                           {"B.TXT", Sha256Of("changed", 7)},
                           {"A.TXT", Sha256Of("x", 1)}};
  std::vector<std::string> found;
  for (const Finding& finding : CompareSums(archive, sums.digests, listed)) {
    found.push_back(finding.kind + " " + (finding.index ? std::to_string(*finding.index) : "-") +
                    " " + finding.name);
  }
  EXPECT_EQ(found, (std::vector<std::string>{"changed 2 ", "extra 4 ", "missing - GONE.TXT"}));
}

}  // namespace
