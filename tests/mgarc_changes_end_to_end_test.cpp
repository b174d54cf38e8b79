// mgarc update, diff and apply run as a user runs them: what they write, and
// that every refusal leaves the archive as it was and no file behind.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "mgarc_fixture.h"
#include "platform/sha256.h"
#include "run_tool.h"
#include "test_archive.h"

namespace {

// ED 40 is 纊 in a form that create would not write: kept as it is stored.
const TestArchive kGame{"ZEL00",
                        {{"T\\0001.TXT", "hello"},
                         {"\xED\x40", "rare"},
                         {"SE\\DOOR.WAV", PatternBytes(70000)},
                         {"SE\\STEP.WAV", "step"}}};

class MgarcChanges : public MgarcFixture {
 protected:
  std::string archive_ = dir_ / "game.dat";
};

TEST_F(MgarcChanges, UpdateReplacesAddsAndDeletesKeepingEverythingElse) {
  WriteFile(archive_, kGame.Bytes());
  chmod(archive_.c_str(), 0640);
  Put("t/0001.txt", "hello, world");  // another case: the same entry
  Put("SE/STEP.WAV", "step");         // unchanged: kept, not replaced
  Put("NEW/B.TXT", "b");
  Put("NEW/A.TXT", "a");
  Put("NEW/A.TXT~", "an editor's backup");  // excluded
  ToolRun dry =
      Run({"update", "--dry-run", "--exclude", "*~", "--delete", "se/door.*", archive_, tree_});
  EXPECT_EQ(dry.exitStatus, 0) << dry.err;
  EXPECT_EQ(dry.out, archive_ + ": 1 replaced, 2 added, 1 deleted, 2 kept (dry run)\n");
  EXPECT_TRUE(ReadFile(archive_) == kGame.Bytes());

  ToolRun run = Run({"update", "-v", "--exclude", "*~", "--delete", "se/door.*", archive_, tree_});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            "replaced t/0001.txt\nadded NEW/A.TXT\nadded NEW/B.TXT\ndeleted SE/DOOR.WAV\n" +
                archive_ + ": 1 replaced, 2 added, 1 deleted, 2 kept\n");
  TestArchive expected{"ZEL00",
                       {{"T\\0001.TXT", "hello, world"},
                        {"\xED\x40", "rare"},
                        {"SE\\STEP.WAV", "step"},
                        {"NEW\\A.TXT", "a"},
                        {"NEW\\B.TXT", "b"}}};
  EXPECT_TRUE(ReadFile(archive_) == expected.Bytes());
  struct stat status {};
  ASSERT_EQ(stat(archive_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);

  // Its own unchanged tree changes nothing: the file is not even rewritten.
  ASSERT_EQ(Run({"extract", "-q", "-C", dir_ / "again", archive_}).exitStatus, 0);
  std::filesystem::remove(dir_ / "again/纊");  // the tree of a canonical archive
  std::string before = ReadFile(archive_);
  ToolRun same = Run({"update", archive_, dir_ / "again"});
  EXPECT_EQ(same.exitStatus, 0) << same.err;
  EXPECT_EQ(same.out, archive_ + ": up to date (5 kept)\n");
  EXPECT_TRUE(ReadFile(archive_) == before);
  struct stat after {};
  ASSERT_EQ(stat(archive_.c_str(), &after), 0);
  EXPECT_EQ(after.st_ino, status.st_ino);
}

TEST_F(MgarcChanges, NamesEndingInAZeroByteGoFromListToUpdateAndCreate) {
  WriteFile(archive_,
            TestArchive{"VIZ00", {{"X1.TXT", "1"}, {"X[1].TXT", "["}, {"B", "b"}}}.Bytes());
  // A name is a name, not a pattern: X[1].TXT deletes itself alone.
  ToolRun run = RunTool(MGARC_BINARY, {"update", "--delete-from", "-", "-0", archive_},
                        std::string("X[1].TXT\0", 9));
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  ToolRun names = Run({"list", "--names", "-0", archive_});
  EXPECT_EQ(names.out, std::string("X1.TXT\0B\0", 9));

  Put("X1.TXT", "1");
  Put("B", "b");
  ToolRun created =
      RunTool(MGARC_BINARY, {"create", "-0", "--order", "-", dir_ / "again.dat", tree_}, names.out);
  EXPECT_EQ(created.exitStatus, 0) << created.err;
  EXPECT_EQ(Run({"list", "--names", dir_ / "again.dat"}).out, "X1.TXT\nB\n");
}

TEST_F(MgarcChanges, UpdateRefusalsWriteNothing) {
  std::string cut = kGame.Bytes();
  cut[16 + 5 + 4 + 70000 + 4 + 3 * 16 + 12] = 14;  // STEP.WAV's data now overlaps the directory
  struct Case {
    const char* what;
    std::string archive;
    std::vector<std::string> arguments;  // before ARCHIVE
    bool withTree;
    const char* message;
  };
  const Case cases[] = {
      {"a pattern that matches nothing",
       kGame.Bytes(),
       {"--delete", "NONE"},
       false,
       "mgarc: NONE: no entry matches\n"},
      {"replaced and deleted",
       kGame.Bytes(),
       {"--delete", "SE/*"},
       true,
       "mgarc: SE/STEP.WAV: both replaced and deleted\n"},
      {"a name create refuses",
       kGame.Bytes(),
       {},
       true,
       "mgarc: SE/A-NAME-TOO-LONG.WAV: the stored name takes 22 bytes, an archive holds at most "
       "12\n"},
      {"an entry that cannot be kept",
       cut,
       {"--delete", "t/*"},
       false,
       "mgarc: SE/STEP.WAV: cannot be kept: its data overlaps the directory (replace it with a "
       "file, or delete it)\n"},
      {"neither files nor deletions",
       kGame.Bytes(),
       {},
       false,
       "mgarc: update: give a directory of files to put in, or --delete PATTERN\n"},
  };
  for (const Case& c : cases) {
    std::filesystem::remove_all(tree_);
    Put("SE/STEP.WAV", "new step");
    if (std::string(c.what) == "a name create refuses") Put("SE/A-NAME-TOO-LONG.WAV", "x");
    WriteFile(archive_, c.archive);
    std::vector<std::string> arguments = {"update"};
    arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
    arguments.push_back(archive_);
    if (c.withTree) arguments.push_back(tree_);
    std::vector<std::string> before = ListTree(dir_.path());
    ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitStatus, 2) << c.what;
    EXPECT_EQ(run.err.substr(0, std::string(c.message).size()), c.message) << c.what;
    EXPECT_TRUE(ReadFile(archive_) == c.archive) << c.what;
    EXPECT_EQ(ListTree(dir_.path()), before) << c.what;
  }
}

TEST_F(MgarcChanges, DiffTellsTheChangesAndItsStatusAsCmpDoes) {
  WriteFile(dir_ / "old.dat", kGame.Bytes());
  WriteFile(dir_ / "new.dat", TestArchive{"ZEL00",
                                          {{"T\\0001.TXT", "hello, world"},
                                           {"\xED\x40", "rare"},
                                           {"SE\\OPEN.WAV", PatternBytes(70000)},
                                           {"NEW.TXT", "new"}}}
                                  .Bytes());
  ToolRun run = Run({"diff", "old.dat", "new.dat"}, InDirectory(dir_.path()));
  EXPECT_EQ(run.exitStatus, 1) << run.err;
  EXPECT_EQ(run.out,
            "changed T/0001.TXT (5 -> 12)\nadded NEW.TXT (3)\nremoved SE/STEP.WAV (4)\n"
            "renamed SE/DOOR.WAV -> SE/OPEN.WAV\n"
            "old.dat -> new.dat: 1 changed, 1 added, 1 removed, 1 renamed\n");
  ToolRun json = Run({"diff", "--json", "old.dat", "old.dat"}, InDirectory(dir_.path()));
  EXPECT_EQ(json.exitStatus, 0);
  EXPECT_EQ(json.out,
            "{\n  \"old\": \"old.dat\",\n  \"new\": \"old.dat\",\n  \"identical\": true,\n"
            "  \"changes\": []\n}\n");
  EXPECT_EQ(Run({"diff", "old.dat", "none.dat"}, InDirectory(dir_.path())).exitStatus, 2);
}

TEST_F(MgarcChanges, ApplyMakesNewOrRefusesAndWritesNothing) {
  const std::string old = kGame.Bytes();
  TestArchive changed = kGame;
  changed.entries[0].data = "hello, world";
  changed.entries.push_back({"NEW.TXT", "new"});
  const std::string now = changed.Bytes() + "trailing";
  WriteFile(dir_ / "old.dat", old);
  WriteFile(dir_ / "new.dat", now);
  ToolRun diff = Run({"diff", "-o", dir_ / "p.mgp", dir_ / "old.dat", dir_ / "new.dat"});
  ASSERT_EQ(diff.exitStatus, 0) << diff.err;
  const std::string patch = ReadFile(dir_ / "p.mgp");
  // The last line says what was written, in the patch's own bytes.
  EXPECT_EQ(diff.out.substr(diff.out.rfind('\n', diff.out.size() - 2) + 1),
            "wrote " + dir_ / "p.mgp" + " (" + std::to_string(patch.size()) +
                " bytes): 1 changed, 1 added, 0 removed\n");
  // The header, a table of 16 cells for OLD's 4 entries, at most 10 pieces,
  // the bytes no entry of OLD holds (the new ones, a record, the trailing
  // bytes, the header's changed fields) and the checksum.
  EXPECT_LT(patch.size(), 112 + 16 * 32 + 10 * 24 + 60 + 32u);

  WriteFile(archive_, old);
  chmod(archive_.c_str(), 0604);
  ToolRun apply = Run({"apply", dir_ / "p.mgp", archive_});
  EXPECT_EQ(apply.exitStatus, 0) << apply.err;
  EXPECT_TRUE(ReadFile(archive_) == now);
  struct stat status {};
  ASSERT_EQ(stat(archive_.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0604u);
  ToolRun again = Run({"apply", dir_ / "p.mgp", archive_});
  EXPECT_EQ(again.exitStatus, 0);
  EXPECT_EQ(again.out, archive_ + ": already up to date\n");

  // A byte of the stored data, after the header and the deflated tables:
  // only the checksum can tell.
  std::string damaged = patch;
  std::uint64_t tables = 0;
  for (int i = 7; i >= 0; --i) tables = tables << 8 | static_cast<unsigned char>(patch[112 + i]);
  damaged[120 + tables] ^= 1;
  TestArchive wrong = kGame;
  wrong.entries[2].data[5] ^= 1;
  // Its first entry gone and eleven added: more than a table of 16 cells tells.
  TestArchive other = kGame;
  other.entries.erase(other.entries.begin());
  for (int i = 0; i < 11; ++i) other.entries.push_back({"X" + std::to_string(i), "x"});
  struct Case {
    const char* what;
    std::string patch;
    std::string archive;
    std::string message;
  };
  const Case cases[] = {
      {"not a patch", "hello, this is no patch at all, " + std::string(200, 'x'), old,
       "mgarc: " + (dir_ / "q.mgp") + ": not an mgarc patch\n"},
      {"cut short", patch.substr(0, patch.size() - 1), old,
       "mgarc: " + (dir_ / "q.mgp") + ": damaged: cut short, or with bytes added\n"},
      {"an archive where the patch goes", old, old,
       "mgarc: " + (dir_ / "q.mgp") +
           ": an archive, not a patch: the order is 'mgarc apply PATCH ARCHIVE'\n"},
      {"a patch where the archive goes", patch, patch,
       "mgarc: " + archive_ +
           ": a patch, not an archive: 'mgarc apply PATCH ARCHIVE' applies it\n"},
      {"a damaged byte", damaged, old,
       "mgarc: " + (dir_ / "q.mgp") + ": damaged: its checksum does not match its bytes\n"},
      {"the wrong archive", patch, wrong.Bytes(),
       "mgarc: " + archive_ +
           ": not the archive this patch applies to; entries that differ: changed SE/DOOR.WAV\n"},
      {"another archive", patch, other.Bytes(),
       "mgarc: " + archive_ + ": not the archive this patch applies to: it has " +
           std::to_string(other.Bytes().size()) + " bytes, the patch expects " +
           std::to_string(old.size()) + "; many entries differ\n"},
  };
  for (const Case& c : cases) {
    WriteFile(dir_ / "q.mgp", c.patch);
    WriteFile(archive_, c.archive);
    std::vector<std::string> before = ListTree(dir_.path());
    ToolRun run = Run({"apply", dir_ / "q.mgp", archive_});
    EXPECT_EQ(run.exitStatus, 2) << c.what;
    EXPECT_EQ(run.err, c.message) << c.what;
    EXPECT_TRUE(ReadFile(archive_) == c.archive) << c.what;
    EXPECT_EQ(ListTree(dir_.path()), before) << c.what;
  }

  // A patch alone on the command line, as an archive is given to extract.
  EXPECT_EQ(Run({dir_ / "p.mgp"}).err, "mgarc: " + dir_ / "p.mgp" +
                                           ": a patch, not an archive: 'mgarc apply PATCH "
                                           "ARCHIVE' applies it\n");

  // To another file: the archive stays as it was.
  WriteFile(archive_, old);
  EXPECT_EQ(Run({"apply", "-o", dir_ / "out.dat", dir_ / "p.mgp", archive_}).exitStatus, 0);
  EXPECT_TRUE(ReadFile(dir_ / "out.dat") == now);
  EXPECT_TRUE(ReadFile(archive_) == old);
}

// The patch's table of OLD's entries names the entries of a wrong archive
// when few differ, and says so when many do.
TEST_F(MgarcChanges, AWrongArchiveIsNamedByTheEntriesThatDiffer) {
  TestArchive old{"VIZ00", {}};
  for (int i = 0; i < 60; ++i) {
    old.entries.push_back({"E" + std::to_string(10 + i), "entry " + std::to_string(i)});
  }
  TestArchive now = old;
  now.entries[0].data = "edited";
  WriteFile(dir_ / "old.dat", old.Bytes());
  WriteFile(dir_ / "new.dat", now.Bytes());
  ASSERT_EQ(Run({"diff", "-o", dir_ / "p.mgp", dir_ / "old.dat", dir_ / "new.dat"}).exitStatus, 0);

  auto changed = [&old](int count) {
    TestArchive copy = old;
    for (int i = 0; i < count; ++i) copy.entries[static_cast<std::size_t>(i)].data[0] ^= 1;
    return copy;
  };
  TestArchive mixed = changed(4);  // and E20-E22 missing, X1-X3 extra
  mixed.entries.erase(mixed.entries.begin() + 10, mixed.entries.begin() + 13);
  for (const char* name : {"X1", "X2", "X3"}) mixed.entries.push_back({name, "x"});
  struct Case {
    const char* what;
    TestArchive archive;
    std::string differ;
  };
  const Case cases[] = {
      {"one changed", changed(1), "entries that differ: changed E10"},
      {"ten differ", mixed,
       "entries that differ: changed E10, changed E11, changed E12, changed E13, missing E20, "
       "missing E21, missing E22, extra X1, extra X2, extra X3"},
      {"fifty changed", changed(50), "many entries differ"},
  };
  for (const Case& c : cases) {
    WriteFile(archive_, c.archive.Bytes());
    ToolRun run = Run({"apply", dir_ / "p.mgp", archive_});
    EXPECT_EQ(run.exitStatus, 2) << c.what;
    EXPECT_EQ(run.err.substr(run.err.rfind("; ") + 2), c.differ + "\n") << c.what;
  }
}

// A patch of version 1, laid out as the manual documents it, still applies.
TEST_F(MgarcChanges, AVersionOnePatchStillApplies) {
  const std::string old = TestArchive{"VIZ00", {{"A.TXT", "alpha"}, {"B.TXT", "beta"}}}.Bytes();
  const std::string now = TestArchive{"VIZ00", {{"A.TXT", "ALPHA"}, {"B.TXT", "beta"}}}.Bytes();
  auto number = [](std::uint64_t value, int bytes) {
    std::string out;
    for (int i = 0; i < bytes; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
    return out;
  };
  auto digest = [](const std::string& bytes) {
    Sha256Digest sum = Sha256Of(bytes.data(), bytes.size());
    return std::string(sum.begin(), sum.end());
  };
  std::string patch = "MGARCPAT" + number(1, 4) + number(2, 4) + number(3, 4) + number(0, 4) +
                      number(old.size(), 8) + digest(old) + number(now.size(), 8) + digest(now) +
                      number(5, 8);
  // OLD's entries: name field, size, SHA-256.
  patch += std::string("A.TXT\0\0\0\0\0\0\0", 12) + number(5, 4) + digest("alpha");
  patch += std::string("B.TXT\0\0\0\0\0\0\0", 12) + number(4, 4) + digest("beta");
  // NEW: its header from OLD, ALPHA stored, the rest from OLD.
  patch += number(1, 4) + number(0, 4) + number(0, 8) + number(16, 8);
  patch += number(2, 4) + number(0, 4) + number(0, 8) + number(5, 8);
  patch += number(1, 4) + number(0, 4) + number(21, 8) + number(now.size() - 21, 8);
  patch += "ALPHA";
  patch += digest(patch);
  WriteFile(dir_ / "v1.mgp", patch);

  WriteFile(archive_, old);
  ToolRun run = Run({"apply", dir_ / "v1.mgp", archive_});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_TRUE(ReadFile(archive_) == now);
  // Its table of every entry names a wrong archive's.
  WriteFile(archive_, TestArchive{"VIZ00", {{"A.TXT", "alpha"}, {"B.TXT", "BETA"}}}.Bytes());
  EXPECT_EQ(Run({"apply", dir_ / "v1.mgp", archive_}).err,
            "mgarc: " + archive_ +
                ": not the archive this patch applies to; entries that differ: changed B.TXT\n");
}

// apply checks the bytes it copies: an archive that differs from OLD only in
// bytes NEW replaces still gives NEW exactly.
TEST_F(MgarcChanges, ApplyChecksWhatItCopiesNotWhatNewReplaces) {
  const TestArchive old{"VIZ00", {{"A.TXT", "alpha"}, {"B.TXT", PatternBytes(5000)}}};
  const TestArchive now{"VIZ00", {{"A.TXT", "ZZZZZ"}, {"B.TXT", PatternBytes(5000)}}};
  WriteFile(dir_ / "old.dat", old.Bytes());
  WriteFile(dir_ / "new.dat", now.Bytes());
  ASSERT_EQ(Run({"diff", "-o", dir_ / "p.mgp", dir_ / "old.dat", dir_ / "new.dat"}).exitStatus, 0);
  WriteFile(archive_,
            TestArchive{"VIZ00", {{"A.TXT", "ALPHA"}, {"B.TXT", PatternBytes(5000)}}}.Bytes());
  ToolRun run = Run({"apply", dir_ / "p.mgp", archive_});
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_TRUE(ReadFile(archive_) == now.Bytes());
}

// Stored data of several chunks, some deflated and some not, with pieces
// that cross from one chunk into the next, makes NEW exactly.
TEST_F(MgarcChanges, StoredDataIsDeflatedWhereThatPays) {
  std::string noise(1200000, '\0');
  std::uint64_t state = 88172645463325252ull;
  for (char& byte : noise) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    byte = static_cast<char>(state);
  }
  std::string text;
  for (int line = 0; text.size() < 1500000; ++line) {
    text += "line " + std::to_string(line) + ": the quick brown fox\r\n";
  }
  std::string edited = PatternBytes(300000);
  for (std::size_t at : {1000u, 150000u, 299000u}) edited.replace(at, 4, "EDIT");
  const TestArchive old{"VIZ00", {{"A.BIN", PatternBytes(300000)}, {"B.TXT", "b"}}};
  const TestArchive now{
      "VIZ00", {{"A.BIN", edited}, {"SCRIPT.TXT", text}, {"NOISE.BIN", noise}, {"B.TXT", "b"}}};
  WriteFile(dir_ / "old.dat", old.Bytes());
  WriteFile(dir_ / "new.dat", now.Bytes());
  ToolRun diff = Run({"diff", "-o", dir_ / "p.mgp", dir_ / "old.dat", dir_ / "new.dat"});
  ASSERT_EQ(diff.exitStatus, 0) << diff.err;
  // The noise as it is, the text in far fewer bytes than its own.
  const auto size = std::filesystem::file_size(dir_ / "p.mgp");
  EXPECT_GT(size, noise.size());
  EXPECT_LT(size, noise.size() + text.size() / 10);
  WriteFile(archive_, old.Bytes());
  ToolRun apply = Run({"apply", dir_ / "p.mgp", archive_});
  EXPECT_EQ(apply.exitStatus, 0) << apply.err;
  EXPECT_TRUE(ReadFile(archive_) == now.Bytes());
}

TEST_F(MgarcChanges, AFileSizeLimitLeavesTheOldArchiveAndNoFile) {
  WriteFile(archive_, kGame.Bytes());
  Put("SE/DOOR.WAV", PatternBytes(200000, 3));
  WriteFile(dir_ / "new.dat", TestArchive{"ZEL00", {{"BIG", PatternBytes(200000, 5)}}}.Bytes());
  ASSERT_EQ(Run({"diff", "-o", dir_ / "p.mgp", archive_, dir_ / "new.dat"}).exitStatus, 0);
  RunOptions limited;
  limited.fileSizeLimit = 100000;
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"update", archive_, tree_},
        std::vector<std::string>{"apply", dir_ / "p.mgp", archive_}}) {
    std::vector<std::string> before = ListTree(dir_.path());
    ToolRun run = Run(arguments, limited);
    EXPECT_EQ(run.exitStatus, 2) << arguments[0];
    EXPECT_NE(run.err.find("File too large"), std::string::npos) << run.err;
    EXPECT_TRUE(ReadFile(archive_) == kGame.Bytes()) << arguments[0];
    EXPECT_EQ(ListTree(dir_.path()), before) << arguments[0];
  }
}

}  // namespace
