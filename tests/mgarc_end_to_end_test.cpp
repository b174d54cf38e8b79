// mgarc run as a script runs it, on archives made here.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"
#include "test_archive.h"

namespace {

// 音声\声.TXT, 表\ソ.TXT (second bytes 5C), and bytes that are no code page 932.
const std::string kVoice = "\x89\xB9\x90\xBA\\\x90\xBA.TXT";
const std::string kTable = "\x95\x5C\\\x83\x5C.TXT";
const std::string kUndecodable = "X\x85\x40.BIN";

// Sets the size field of record index (from 0) in an archive's bytes.
void SetSize(std::string& bytes, int index, std::uint32_t size) {
  std::size_t directory = static_cast<unsigned char>(bytes[10]) |
                          static_cast<unsigned char>(bytes[11]) << 8 |
                          static_cast<std::size_t>(static_cast<unsigned char>(bytes[12])) << 16;
  std::size_t field = directory + 16 * static_cast<std::size_t>(index) + 12;
  for (int i = 0; i < 4; ++i) bytes[field + i] = static_cast<char>((size >> (8 * i)) & 0xFF);
}

class Mgarc : public ::testing::Test {
 protected:
  ToolRun Run(const std::vector<std::string>& arguments, const RunOptions& options = {}) {
    return RunTool(MGARC_BINARY, arguments, "", options);
  }
  void Write(const TestArchive& archive) { WriteFile(archive_, archive.Bytes()); }
  TempDir dir_;
  std::string archive_ = dir_ / "voice.dat";
  std::string out_ = dir_ / "out";
  TestArchive japanese_{"VIZ00",
                        {{"README.TXT", "read me"},
                         {kVoice, "koe"},
                         {kTable, "so"},
                         {kUndecodable, "raw"},
                         {"SE\\DOOR.WAV", PatternBytes(300000)}}};
};

TEST_F(Mgarc, ListShowsNamesAsUtf8WithSlashes) {
  Write(japanese_);
  ToolRun table = Run({"list", archive_});
  EXPECT_EQ(table.exitStatus, 0) << table.err;
  EXPECT_EQ(table.out,
            "  index        size      offset  name\n"
            "      1           7          16  README.TXT\n"
            "      2           3          23  音声/声.TXT\n"
            "      3           2          26  表/ソ.TXT\n"
            "      4           3          28  X\\x85@.BIN\n"
            "      5      300000          31  SE/DOOR.WAV\n"
            "5 entries, 300015 bytes\n");
  ToolRun names = Run({"list", "--names", archive_});
  EXPECT_EQ(names.out, "README.TXT\n音声/声.TXT\n表/ソ.TXT\nX\\x85@.BIN\nSE/DOOR.WAV\n");
}

TEST_F(Mgarc, ListJsonIsOneDocument) {
  std::string bytes = japanese_.Bytes();
  SetSize(bytes, 4, 400000);  // past the end: listed as the directory says
  WriteFile(archive_, bytes);
  ToolRun run = Run({"list", "--json", archive_});
  ASSERT_EQ(run.exitStatus, 0) << run.err;
  nlohmann::json document = nlohmann::json::parse(run.out);
  EXPECT_EQ(document["archive"], archive_);
  EXPECT_EQ(document["magic"], "VIZ00");
  EXPECT_EQ(document["entry_count"], 5);
  EXPECT_EQ(document["directory_offset"], 300031);
  EXPECT_EQ(document["file_size"], bytes.size());
  EXPECT_EQ(document["entries"][1]["name"], "音声/声.TXT");
  EXPECT_EQ(document["entries"][1]["stored_name"], "89b990ba5c90ba2e545854");
  EXPECT_EQ(document["entries"][1]["index"], 2);
  EXPECT_TRUE(document["entries"][3]["name"].is_null());
  EXPECT_EQ(document["entries"][3]["stored_name"], "5885402e42494e");
  EXPECT_EQ(document["entries"][4]["size"], 400000);
  EXPECT_EQ(document["entries"][4]["offset"], 31);
}

TEST_F(Mgarc, ArchivesThatCannotBeReadStopWithOneLine) {
  struct Case {
    std::string bytes;
    std::string reason;
  };
  TestArchive farDirectory{"ZEL00", {{"A", "a"}}};
  farDirectory.directoryOffsetOverride = 1000;
  std::string cut = farDirectory.Bytes();
  cut.resize(1008);
  TestArchive lowOffset{"VIZ00", {}};
  lowOffset.directoryOffsetOverride = 8;
  const Case cases[] = {
      {"PK\x03\x04 not an archive at all", "not a VIZ00 or ZEL00 archive"},
      {"viz00" + std::string(20, '\0'), "not a VIZ00 or ZEL00 archive"},
      {"VIZ00\0\0\0", "header cut short"},
      {lowOffset.Bytes(), "directory offset 8 lies inside"},
      {cut, "runs past the end of the file (1008 bytes)"},
  };
  for (const Case& c : cases) {
    WriteFile(archive_, c.bytes);
    for (const char* command : {"list", "verify", "extract"}) {
      ToolRun run = Run({command, "-C", out_, archive_});
      if (std::string(command) != "extract") run = Run({command, archive_});
      EXPECT_EQ(run.exitStatus, 2) << command << " " << c.reason;
      EXPECT_EQ(run.err.rfind("mgarc: " + archive_ + ": ", 0), 0u) << run.err;
      EXPECT_NE(run.err.find(c.reason), std::string::npos) << run.err;
      EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
    }
  }
  EXPECT_FALSE(PathExists(out_));
  EXPECT_EQ(Run({"list", dir_ / "missing.dat"}).exitStatus, 2);
  // A FIFO would keep every read waiting for a writer.
  ASSERT_EQ(mkfifo((dir_ / "fifo").c_str(), 0666), 0);
  ToolRun fifo = Run({"list", dir_ / "fifo"});
  EXPECT_EQ(fifo.exitStatus, 2);
  EXPECT_EQ(fifo.err, "mgarc: " + (dir_ / "fifo") + ": not a regular file\n");
}

TEST_F(Mgarc, SumsOfTheEntriesAreThoseOfSha256sumAndVerifyChecksThem) {
  TestArchive archive = japanese_;
  archive.entries.erase(archive.entries.begin() + 3);  // a name extract cannot give back as shown
  Write(archive);
  ToolRun listed = Run({"list", "--sha256", "-j", "2", archive_});
  ASSERT_EQ(listed.exitStatus, 0) << listed.err;
  ASSERT_EQ(Run({"extract", "-q", "-C", out_, archive_}).exitStatus, 0);
  const std::string sums = dir_ / "SUMS";
  WriteFile(sums, listed.out);
  EXPECT_EQ(Capture("cd '" + out_ + "' && sha256sum -c --quiet '" + sums + "' 2>&1; echo $?"),
            "0\n");

  archive.entries[1].data = "KOE";
  archive.entries.push_back({"NEW.TXT", "new"});
  Write(archive);
  ToolRun checked = Run({"verify", "--sums", sums, archive_});
  EXPECT_EQ(checked.exitStatus, 1);
  EXPECT_EQ(checked.out,
            "changed: entry 2 (音声/声.TXT): its bytes differ from the sums\n"
            "extra: entry 5 (NEW.TXT): the sums do not list it\n" +
                archive_ + ": 5 entries, 2 findings\n");
}

TEST_F(Mgarc, CommandLineErrorsAreOneLineThenWhereToReadMore) {
  struct Case {
    std::vector<std::string> arguments;
    std::string err;
  };
  const Case cases[] = {
      {{}, "mgarc: give a command, or an archive to extract\n(mgarc --help for more)\n"},
      {{"lst", "x"},
       "mgarc: 'lst' is not a command; did you mean 'list'?\n(mgarc --help for more)\n"},
      {{"list"}, "mgarc: ARCHIVE is required\n(mgarc list --help for more)\n"},
      {{"list", "a", "b"},
       "mgarc: the following argument was not expected: b\n(mgarc list --help for more)\n"},
      {{"list", "--json", "--names", "a"},
       "mgarc: --json excludes --names\n(mgarc list --help for more)\n"},
      {{"extract", "-j", "0", "a"},
       "mgarc: --jobs: value 0 not in range 1 to 1024\n(mgarc extract --help for more)\n"},
      {{"extract", "a", "-C"},
       "mgarc: --directory needs a value\n(mgarc extract --help for more)\n"},
      {{"extract", "-k", "-o", "a"},
       "mgarc: --overwrite excludes --keep-existing\n(mgarc extract --help for more)\n"},
      {{"create", "--magic", "VIZ01", "a", "b"},
       "mgarc: --magic: VIZ01 not in {VIZ00,ZEL00}\n(mgarc create --help for more)\n"},
  };
  for (const Case& c : cases) {
    ToolRun run = Run(c.arguments);
    EXPECT_EQ(run.exitStatus, 2) << run.err;
    EXPECT_EQ(run.err, c.err);
    EXPECT_EQ(run.out, "");
  }
}

TEST_F(Mgarc, HelpAndVersion) {
  for (const std::vector<std::string>& arguments :
       {std::vector<std::string>{"extract", "--help"}, {"help", "extract"}}) {
    ToolRun help = Run(arguments);
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_EQ(help.out.rfind("extract entries into a directory\nUsage: mgarc extract", 0), 0u)
        << help.out;
    EXPECT_NE(help.out.find("--overwrite"), std::string::npos);
  }
  EXPECT_EQ(Run({"help"}).out, Run({"--help"}).out);
  const std::string version = Run({"--version"}).out;
  EXPECT_EQ(version.rfind("mgarc ", 0), 0u);
  EXPECT_NE(version.find("\nCopyright (c) 2026 the Marrowgilder authors. MIT License.\n"),
            std::string::npos);
}

TEST_F(Mgarc, VerifyReportsEveryFindingThenASummary) {
  Write(japanese_);
  ToolRun clean = Run({"verify", archive_});
  // The undecodable name is the one finding.
  EXPECT_EQ(clean.out,
            "name_not_decodable: entry 4 (X\\x85@.BIN): the stored name is not code "
            "page 932 text\n" +
                archive_ + ": 5 entries, 1 finding\n");
  EXPECT_EQ(clean.exitStatus, 1);

  TestArchive names{"VIZ00",
                    {{"A.TXT", "a"},
                     {"a.txt", "b"},
                     {"..\\EVIL", "c"},
                     {"NUL.TXT", "d"},
                     {"\xED\x40.TXT", "e"}}};  // 纊 by its NEC row: encodes as FA 5C
  std::string bytes = names.Bytes();
  bytes[14] = 7;
  bytes += "tail";
  WriteFile(archive_, bytes);
  ToolRun run = Run({"verify", "--json", archive_});
  EXPECT_EQ(run.exitStatus, 1);
  nlohmann::json document = nlohmann::json::parse(run.out);
  EXPECT_EQ(document["ok"], false);
  std::vector<std::string> kinds;
  for (const auto& finding : document["findings"]) {
    kinds.push_back(finding["kind"].get<std::string>() +
                    (finding["index"].is_null() ? "" : "@" + finding["index"].dump()));
  }
  EXPECT_EQ(kinds,
            (std::vector<std::string>{"reserved_bytes_set", "bytes_after_directory",
                                      "duplicate_name@2", "name_leaves_directory@3",
                                      "name_reserved_on_windows@4", "name_not_canonical@5"}));

  Write(TestArchive{"ZEL00", {{"A.TXT", "abc"}}});
  ToolRun ok = Run({"verify", "--json", archive_});
  EXPECT_EQ(ok.exitStatus, 0);
  EXPECT_EQ(nlohmann::json::parse(ok.out)["findings"].size(), 0u);
}

TEST_F(Mgarc, VerifyTakesManyArchivesAndReportsEachInJsonLines) {
  const std::string good = dir_ / "good.dat";
  const std::string odd = dir_ / "odd.dat";
  const std::string cut = dir_ / "cut.dat";
  WriteFile(good, TestArchive{"VIZ00", {{"A.TXT", "a"}}}.Bytes());
  WriteFile(odd, TestArchive{"VIZ00", {{"A.TXT", "a"}, {"a.txt", "b"}}}.Bytes());
  WriteFile(cut, "VIZ00");  // a magic and no more

  ToolRun json = Run({"verify", "--json", good, odd, cut});
  EXPECT_EQ(json.exitStatus, 2);  // the worst of them
  EXPECT_EQ(json.err, "mgarc: " + cut + ": header cut short: the file has 5 bytes, a header 16\n");
  std::vector<nlohmann::json> lines;
  std::istringstream in(json.out);
  for (std::string line; std::getline(in, line);) lines.push_back(nlohmann::json::parse(line));
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["ok"], true);
  EXPECT_EQ(lines[1]["findings"][0]["kind"], "duplicate_name");
  EXPECT_EQ(lines[1]["findings"][0]["index"], 2);
  EXPECT_EQ(lines[1]["findings"][0]["name"], "a.txt");
  EXPECT_EQ(lines[2]["archive"], cut);
  EXPECT_EQ(lines[2]["ok"], false);
  EXPECT_EQ(lines[2]["error"].get<std::string>(),
            "header cut short: the file has 5 bytes, a header 16");

  ToolRun text = Run({"verify", good, odd});
  EXPECT_EQ(text.exitStatus, 1);
  EXPECT_EQ(text.out, good + ": 1 entry, no findings\n" + odd +
                          ": duplicate_name: entry 2 (a.txt): an earlier entry is extracted to "
                          "the same file (case and \".\" levels ignored); extracted, this one "
                          "replaces it\n" +
                          odd + ": 2 entries, 1 finding\n");
}

TEST_F(Mgarc, CatWritesOneEntrysBytes) {
  Write(japanese_);
  ToolRun run = Run({"cat", archive_, "se/door.wav"});
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(run.out == PatternBytes(300000));
  EXPECT_EQ(Run({"cat", archive_, "表/ソ.TXT"}).out, "so");
  EXPECT_EQ(Run({"cat", archive_, "X\\x85@.BIN"}).out, "raw");
  ToolRun missing = Run({"cat", archive_, "NONE"});
  EXPECT_EQ(missing.exitStatus, 2);
  EXPECT_EQ(missing.out, "");

  std::string bytes = TestArchive{"VIZ00", {{"A", "first"}, {"a", "second"}}}.Bytes();
  WriteFile(archive_, bytes);
  EXPECT_EQ(Run({"cat", archive_, "A"}).out, "second");  // the last match wins
  WriteFile(archive_, TestArchive{"VIZ00", {{"\x82\x60.TXT", "wide"}}}.Bytes());
  EXPECT_EQ(Run({"cat", archive_, "ａ.txt"}).out, "wide");  // Ａ.TXT: case beyond ASCII too
  SetSize(bytes, 1, 1000);
  WriteFile(archive_, bytes);
  ToolRun past = Run({"cat", archive_, "a"});
  EXPECT_EQ(past.exitStatus, 1);
  EXPECT_EQ(past.out.substr(0, 6), "second");  // then the directory's bytes, as the file has them
  EXPECT_EQ(past.out.size(), bytes.size() - 21);
  EXPECT_NE(past.err.find("cut short"), std::string::npos);
}

TEST_F(Mgarc, ExtractWritesTheTreeIntoADirectoryNamedAfterTheArchive) {
  Write(japanese_);
  ToolRun run = Run({"extract", "-v", archive_}, InDirectory(dir_.path()));
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  std::string voice = dir_ / "voice";
  EXPECT_EQ(ListTree(voice),
            (std::vector<std::string>{"README.TXT", "SE/", "SE/DOOR.WAV", "X\x85\x40.BIN", "表/",
                                      "表/ソ.TXT", "音声/", "音声/声.TXT"}));
  EXPECT_TRUE(ReadFile(voice + "/SE/DOOR.WAV") == PatternBytes(300000));
  EXPECT_EQ(ReadFile(voice + "/音声/声.TXT"), "koe");
  EXPECT_EQ(run.out,
            "voice/README.TXT\nvoice/音声/声.TXT\nvoice/表/ソ.TXT\nvoice/X\\x85@.BIN\n"
            "voice/SE/DOOR.WAV\n");
  // -v ends with the totals.
  EXPECT_EQ(TakeTotals(run.err), "5 files, 0.3 MiB");
  EXPECT_EQ(run.err, "");

  WriteFile(dir_ / "plain", TestArchive{"VIZ00", {{"A", "a"}}}.Bytes());
  EXPECT_EQ(Run({"extract", "-q", "plain"}, InDirectory(dir_.path())).exitStatus, 0);
  EXPECT_EQ(ReadFile(dir_ / "plain.d/A"), "a");

  // An archive alone on the command line, as unar takes one.
  WriteFile(dir_ / "alone.dat", TestArchive{"VIZ00", {{"B", "b"}}}.Bytes());
  EXPECT_EQ(Run({"alone.dat"}, InDirectory(dir_.path())).exitStatus, 0);
  EXPECT_EQ(ReadFile(dir_ / "alone/B"), "b");
}

TEST_F(Mgarc, PatternsChooseEntriesAndOneThatMatchesNothingFails) {
  Write(japanese_);
  ToolRun run = Run({"extract", "-C", out_ + "/deep/er", archive_, "*.txt", "*.ogg"});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "mgarc: *.ogg: no entry matches\n");
  EXPECT_EQ(ListTree(out_ + "/deep/er"),
            (std::vector<std::string>{"README.TXT", "表/", "表/ソ.TXT", "音声/", "音声/声.TXT"}));
}

TEST_F(Mgarc, ExistingFilesAreKeptUnlessOverwriteAndLinksNeverFollowed) {
  Write(TestArchive{"VIZ00",
                    {{"A.TXT", "new"}, {"L.TXT", "link"}, {"S.TXT", "same"}, {"D\\X", "x"}}});
  mkdir(out_.c_str(), 0777);
  WriteFile(out_ + "/A.TXT", "old");
  WriteFile(out_ + "/S.TXT", "same");
  std::string outside = dir_ / "outside";
  mkdir(outside.c_str(), 0777);
  WriteFile(outside + "/target", "keep");
  ASSERT_EQ(symlink((outside + "/target").c_str(), (out_ + "/L.TXT").c_str()), 0);
  ASSERT_EQ(symlink(outside.c_str(), (out_ + "/D").c_str()), 0);

  // By default an edit is never reverted: each file that differs is named, and
  // the status says so; one that holds the entry's bytes is as good as written.
  ToolRun kept = Run({"extract", "-C", out_, archive_, "?.TXT"});
  EXPECT_EQ(kept.exitStatus, 1);
  EXPECT_EQ(kept.err, "mgarc: kept " + out_ +
                          "/A.TXT: it differs from the archive (--overwrite replaces it)\n"
                          "mgarc: kept " +
                          out_ + "/L.TXT: it differs from the archive (--overwrite replaces it)\n");
  EXPECT_EQ(ReadFile(out_ + "/A.TXT"), "old");

  // -k, as scripts pass it: kept without a word.
  ToolRun quiet = Run({"extract", "-k", "-C", out_, archive_, "?.TXT"});
  EXPECT_EQ(quiet.exitStatus, 0);
  EXPECT_EQ(quiet.err, "");
  EXPECT_EQ(ReadFile(out_ + "/A.TXT"), "old");

  ToolRun run = Run({"extract", "--overwrite", "-C", out_, archive_});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "mgarc: D/X: skipped: the path goes through a symbolic link\n");
  EXPECT_EQ(ReadFile(out_ + "/A.TXT"), "new");
  struct stat info {};
  ASSERT_EQ(lstat((out_ + "/L.TXT").c_str(), &info), 0);
  EXPECT_TRUE(S_ISREG(info.st_mode));  // the link was replaced, not written through
  EXPECT_EQ(ReadFile(out_ + "/L.TXT"), "link");
  EXPECT_EQ(ListTree(outside), std::vector<std::string>{"target"});
  EXPECT_EQ(ReadFile(outside + "/target"), "keep");
}

TEST_F(Mgarc, HostileNamesDuplicatesAndDataPastTheEnd) {
  TestArchive archive{"VIZ00",
                      {{"..\\EVIL", "e"},
                       {"\\ROOT", "r"},
                       {"SAME", "first"},
                       {"SE", "file"},
                       {"SE\\A.WAV", "a"},
                       {"SAME", "second"},
                       {"NUL.TXT", "n"},
                       {"LAST", "0123456789"}}};
  std::string bytes = archive.Bytes();
  SetSize(bytes, 7, 1000);
  WriteFile(archive_, bytes);
  // LAST starts at byte 35; what follows is the rest of the file.
  for (const char* jobs : {"1", "4"}) {
    std::string out = out_ + jobs;
    ToolRun run = Run({"extract", "-j", jobs, "-C", out, archive_});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err,
              "mgarc: ../EVIL: skipped: the name leads out of the output directory\n"
              "mgarc: /ROOT: skipped: the name leads out of the output directory\n"
              "mgarc: SE/A.WAV: not written: an earlier entry is a file where this name needs a "
              "directory\n"
              "mgarc: LAST: cut short: the archive holds " +
                  std::to_string(bytes.size() - 35) + " of the entry's 1000 bytes\n");
    EXPECT_EQ(ListTree(out), (std::vector<std::string>{"LAST", "NUL.TXT", "SAME", "SE"}));
    EXPECT_EQ(ReadFile(out + "/SAME"), "second");
    EXPECT_EQ(ReadFile(out + "/LAST").substr(0, 10), "0123456789");
  }
  EXPECT_EQ(ListTree(dir_.path()).size(), 1 + 4 + 1 + 4 + 1u);  // nothing beside the outputs
}

TEST_F(Mgarc, ALeadByteBeforeASlashNeverTakesItIntoALink) {
  Write(TestArchive{"VIZ00", {{"\x81/PWN", "p"}, {"SE\x81/PWN2", "p"}, {"OK", "ok"}}});
  std::string outside = dir_ / "outside";
  mkdir(outside.c_str(), 0777);
  for (const char* jobs : {"1", "4"}) {
    std::string out = out_ + jobs;
    mkdir(out.c_str(), 0777);
    ASSERT_EQ(symlink(outside.c_str(), (out + "/\x81").c_str()), 0);
    ASSERT_EQ(symlink(outside.c_str(), (out + "/SE\x81").c_str()), 0);
    ToolRun run = Run({"extract", "-j", jobs, "-C", out, archive_});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_EQ(run.err,
              "mgarc: \\x81/PWN: skipped: the path goes through a symbolic link\n"
              "mgarc: SE\\x81/PWN2: skipped: the path goes through a symbolic link\n");
    EXPECT_EQ(ReadFile(out + "/OK"), "ok");
  }
  EXPECT_TRUE(ListTree(outside).empty());
}

TEST_F(Mgarc, OutputThatCannotBeWrittenIsAWriteError) {
  Write(japanese_);
  mkdir((dir_ / "tree").c_str(), 0777);
  WriteFile(dir_ / "tree/A", "a");
  RunOptions full;
  full.outputFile = "/dev/full";
  const std::vector<std::vector<std::string>> commands = {
      {"list", archive_},
      {"list", "--json", archive_},
      {"list", "--names", archive_},
      {"verify", archive_},
      {"cat", archive_, "README.TXT"},
      {"extract", "-v", "-C", out_, archive_},
      {"create", "-v", dir_ / "new.dat", dir_ / "tree"},
      {"--help"},
      {"--version"}};
  for (const std::vector<std::string>& command : commands) {
    ToolRun run = Run(command, full);
    EXPECT_EQ(run.exitStatus, 2) << command[0];
    EXPECT_EQ(run.err, "mgarc: write error: No space left on device\n") << command[0];
  }
}

TEST_F(Mgarc, TheArchiveItselfIsNeverOverwritten) {
  Write(TestArchive{"VIZ00", {{"voice.dat", "boom"}, {"B", "b"}}});
  std::string before = ReadFile(archive_);
  ToolRun run = Run({"extract", "-C", dir_.path(), archive_});
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(run.err, "mgarc: voice.dat: not written: this is the archive itself\n");
  EXPECT_TRUE(ReadFile(archive_) == before);
  EXPECT_EQ(ReadFile(dir_ / "B"), "b");
}

TEST_F(Mgarc, AnOutputDirectoryThatCannotBeMadeStopsTheRun) {
  Write(japanese_);
  WriteFile(out_, "a file");
  ToolRun run = Run({"extract", "-C", out_ + "/sub", archive_});
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.err.rfind("mgarc: " + out_ + "/sub: cannot create the directory", 0), 0u);
}

}  // namespace
