// The cross-built mgarc.exe, run under Wine from this side: UTF-8 output with
// "/" between directories whatever the system's code page, UTF-16 file names
// on Wine's Z: drive, the raw bytes of cat, and text on a console.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "run_tool.h"
#include "test_archive.h"
#include "wine_fixture.h"

namespace {

const std::string kExe = MGARC_WINDOWS_EXE;

// Stored names are code page 932: 音声\声.TXT and 表\ソ.TXT, whose ソ ends in
// the byte of '\'.
const std::string kVoice = "\x89\xB9\x90\xBA\\\x90\xBA.TXT";
const std::string kSo = "\x95\x5C\\\x83\x5C.TXT";

bool IsUtf8(const std::string& text) {
  for (std::size_t i = 0; i < text.size();) {
    auto byte = static_cast<unsigned char>(text[i]);
    std::size_t more = byte < 0x80                   ? 0
                       : byte >= 0xC2 && byte < 0xE0 ? 1
                       : byte >= 0xE0 && byte < 0xF0 ? 2
                       : byte >= 0xF0 && byte < 0xF5 ? 3
                                                     : 4;
    if (more > 3 || i + more >= text.size()) return false;
    for (std::size_t k = 1; k <= more; ++k) {
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    }
    i += more + 1;
  }
  return true;
}

// In the C.UTF-8 locale, where Wine's system code page is not 932.
class WindowsMgarc : public WineTest {
 protected:
  WindowsMgarc() : WineTest(kExe) {}
  std::string archive_ = dir_ / "ゲーム😀.dat";  // neither code page 932 nor 1252 holds 😀
};

TEST_F(WindowsMgarc, ListAndVerifyShowJapaneseNamesAsUtf8) {
  // 85 40 is no character of code page 932.
  WriteFile(archive_,
            TestArchive{"ZEL00", {{kVoice, "voice"}, {kSo, "so"}, {"B\x85\x40", ""}}}.Bytes());
  ToolRun table = Run({"list", WindowsArgument(archive_)});
  EXPECT_EQ(table.out,
            "  index        size      offset  name\n"
            "      1           5          16  音声/声.TXT\n"
            "      2           2          21  表/ソ.TXT\n"
            "      3           0          23  B\\x85@\n"
            "3 entries, 7 bytes\n");
  EXPECT_EQ(table.err, "");
  EXPECT_EQ(table.exitStatus, 0);

  ToolRun json = Run({"list", "--json", WindowsArgument(archive_)});
  ASSERT_EQ(json.exitStatus, 0) << json.err;
  nlohmann::json document = nlohmann::json::parse(json.out);
  EXPECT_EQ(document["archive"], WindowsArgument(archive_));
  EXPECT_EQ(document["magic"], "ZEL00");
  ASSERT_EQ(document["entries"].size(), 3u);
  EXPECT_EQ(document["entries"][0]["name"], "音声/声.TXT");
  EXPECT_EQ(document["entries"][1]["name"], "表/ソ.TXT");
  EXPECT_EQ(document["entries"][1]["stored_name"], "955c5c835c2e545854");
  EXPECT_EQ(document["entries"][1]["offset"], 21);
  EXPECT_EQ(document["entries"][2]["name"], nullptr);

  ToolRun verify = Run({"verify", WindowsArgument(archive_)});
  EXPECT_EQ(verify.out,
            "name_not_decodable: entry 3 (B\\x85@): the stored name is not code page 932 text\n" +
                WindowsArgument(archive_) + ": 3 entries, 1 finding\n");
  EXPECT_EQ(verify.exitStatus, 1);

  // ED 40 decodes to 纊, which the system's table encodes as FA 5C.
  WriteFile(archive_, TestArchive{"VIZ00", {{kSo, "so"}, {"\xED\x40.TXT", "x"}}}.Bytes());
  ToolRun findings = Run({"verify", "--json", WindowsArgument(archive_)});
  EXPECT_EQ(findings.exitStatus, 1) << findings.err;
  document = nlohmann::json::parse(findings.out);
  EXPECT_EQ(document["ok"], false);
  ASSERT_EQ(document["findings"].size(), 1u);
  EXPECT_EQ(document["findings"][0]["kind"], "name_not_canonical");
  EXPECT_EQ(document["findings"][0]["index"], 2);
}

TEST_F(WindowsMgarc, ExtractBuildsTheTreeOnTheZDrive) {
  WriteFile(archive_, TestArchive{"VIZ00",
                                  {{kVoice, "voice"},
                                   {kSo, std::string("so\r\n\x1a\0z", 7)},
                                   {"\x89\xB9\x90\xBA\\B.WAV", PatternBytes(70000)}}}
                          .Bytes());
  std::string out = dir_ / "出力/深い";  // missing levels with Japanese names
  ToolRun run = Run({"extract", "-j", "2", "-C", WindowsArgument(out), WindowsArgument(archive_)});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ListTree(out),
            (std::vector<std::string>{"表/", "表/ソ.TXT", "音声/", "音声/B.WAV", "音声/声.TXT"}));
  EXPECT_EQ(ReadFile(out + "/音声/声.TXT"), "voice");
  EXPECT_EQ(ReadFile(out + "/表/ソ.TXT"), std::string("so\r\n\x1a\0z", 7));
  EXPECT_EQ(ReadFile(out + "/音声/B.WAV"), PatternBytes(70000));

  // Again after an edit: the edit is kept and named, unless --overwrite.
  WriteFile(out + "/音声/声.TXT", "edited");
  ToolRun again = Run({"extract", "-C", WindowsArgument(out), WindowsArgument(archive_)});
  EXPECT_EQ(again.exitStatus, 1);
  EXPECT_EQ(again.err, "mgarc: kept " + WindowsArgument(out) +
                           "/音声/声.TXT: it differs from the archive (--overwrite replaces it)\n");
  EXPECT_EQ(ReadFile(out + "/音声/声.TXT"), "edited");
  EXPECT_EQ(
      Run({"extract", "-o", "-C", WindowsArgument(out), WindowsArgument(archive_)}).exitStatus, 0);
  EXPECT_EQ(ReadFile(out + "/音声/声.TXT"), "voice");

  // By default into a directory named after the archive, here in the current one.
  ToolRun relative = Run({"extract", "-q", "ゲーム😀.dat"}, InDirectory(dir_.path()));
  EXPECT_EQ(relative.exitStatus, 0) << relative.err;
  EXPECT_EQ(ReadFile(dir_ / "ゲーム😀/表/ソ.TXT"), std::string("so\r\n\x1a\0z", 7));

  // The archive alone on the command line: the same extraction.
  std::filesystem::copy_file(archive_, dir_ / "落下.dat");
  ToolRun alone = Run({"落下.dat"}, InDirectory(dir_.path()));
  EXPECT_EQ(alone.exitStatus, 0) << alone.err;
  EXPECT_EQ(ReadFile(dir_ / "落下/音声/声.TXT"), "voice");
}

TEST_F(WindowsMgarc, ReservedNamesAreSkippedAndCaseVariantsAreOneFile) {
  WriteFile(archive_, TestArchive{"VIZ00",
                                  {{"se\\a.wav", "first"},
                                   {"NUL.TXT", "device"},
                                   {"\x83\xB0\\X", "Sigma"},  // Σ\X, then σ\X: one file as well
                                   {"SE\\A.WAV", "last"},
                                   {"GOOD", "g"},
                                   {"\x83\xD0\\X", "sigma"}}}
                          .Bytes());
  std::string out = dir_ / "out";
  ToolRun run = Run({"extract", "-j", "4", "-C", WindowsArgument(out), WindowsArgument(archive_)});
  EXPECT_EQ(run.err, "mgarc: NUL.TXT: skipped: Windows cannot hold the name as a file\n");
  EXPECT_EQ(run.exitStatus, 1);
  // One file, written once: the last entry's name and data.
  EXPECT_EQ(ListTree(out), (std::vector<std::string>{"GOOD", "SE/", "SE/A.WAV", "σ/", "σ/X"}));
  EXPECT_EQ(ReadFile(out + "/SE/A.WAV"), "last");
  EXPECT_EQ(ReadFile(out + "/σ/X"), "sigma");
}

TEST_F(WindowsMgarc, AReaderThatGoesAwayEndsItSilently) {
  TestArchive many{"VIZ00", {}};
  for (int i = 0; i < 3000; ++i) many.entries.push_back({"E" + std::to_string(i), ""});
  WriteFile(archive_, many.Bytes());
  // As `mgarc.exe list X | head -1`: the reader leaves after one line.
  std::string statuses = Capture(
      "bash -c '\"$0\" \"$1\" list \"$2\" 2>\"$3\" | head -c 1 >/dev/null; "
      "echo ${PIPESTATUS[0]}' '" +
      kWine + "' '" + exe_ + "' '" + WindowsArgument(archive_) + "' '" + dir_ / "err'");
  EXPECT_EQ(statuses, "2\n");
  EXPECT_EQ(ReadFile(dir_ / "err"), "");
}

TEST_F(WindowsMgarc, CatWritesTheExactBytes) {
  std::string data("line\r\nend\n\x1a\0\xFF\n", 14);
  WriteFile(archive_, TestArchive{"VIZ00", {{kSo, data}, {"B.TXT", "b"}}}.Bytes());
  ToolRun run = Run({"cat", WindowsArgument(archive_), "表/ソ.txt"});
  EXPECT_TRUE(run.out == data) << "got " << run.out.size() << " bytes";
  EXPECT_EQ(run.exitStatus, 0);

  ToolRun missing = Run({"cat", WindowsArgument(archive_), "表/ソ"});
  EXPECT_EQ(missing.out, "");
  EXPECT_EQ(missing.err, "mgarc: " + WindowsArgument(archive_) + ": no entry named 表/ソ\n");
  EXPECT_EQ(missing.exitStatus, 2);
}

TEST_F(WindowsMgarc, CreatePacksAJapaneseTreeInPlaceOfTheOldArchive) {
  std::string tree = dir_ / "木";
  std::filesystem::create_directories(tree + "/音声");
  std::filesystem::create_directories(tree + "/表");
  WriteFile(tree + "/音声/声.TXT", "voice");
  WriteFile(tree + "/表/ソ.TXT", "so\r\n");
  WriteFile(archive_, "old");
  ToolRun run =
      Run({"create", "--force", "-j", "2", WindowsArgument(archive_), WindowsArgument(tree)});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitStatus, 0);
  std::string expected = TestArchive{"VIZ00", {{kVoice, "voice"}, {kSo, "so\r\n"}}}.Bytes();
  EXPECT_TRUE(ReadFile(archive_) == expected);
  // Nothing is left beside it.
  EXPECT_EQ(ListTree(dir_.path()),
            (std::vector<std::string>{"ゲーム😀.dat", "木/", "木/表/", "木/表/ソ.TXT", "木/音声/",
                                      "木/音声/声.TXT"}));
}

TEST_F(WindowsMgarc, UpdateDiffAndApplyAJapaneseArchive) {
  const std::string old = TestArchive{"ZEL00", {{kVoice, "voice"}, {kSo, "so"}}}.Bytes();
  const std::string edited = TestArchive{"ZEL00", {{kVoice, "koe"}, {kSo, "so"}}}.Bytes();
  WriteFile(archive_, old);
  WriteFile(dir_ / "old.dat", old);
  std::string tree = dir_ / "木";
  std::filesystem::create_directories(tree + "/音声");
  WriteFile(tree + "/音声/声.TXT", "koe");
  ToolRun update = Run({"update", "-v", WindowsArgument(archive_), WindowsArgument(tree)});
  EXPECT_EQ(update.exitStatus, 0) << update.err;
  EXPECT_EQ(update.out, "replaced 音声/声.TXT\n" + WindowsArgument(archive_) +
                            ": 1 replaced, 0 added, 0 deleted, 1 kept\n");
  EXPECT_TRUE(ReadFile(archive_) == edited);

  std::string patch = WindowsArgument(dir_ / "訳.mgp");
  ToolRun diff =
      Run({"diff", "-o", patch, WindowsArgument(dir_ / "old.dat"), WindowsArgument(archive_)});
  EXPECT_EQ(diff.exitStatus, 0) << diff.err;
  EXPECT_EQ(diff.out.substr(0, diff.out.find('\n')), "changed 音声/声.TXT (5 -> 3)");
  ToolRun apply = Run({"apply", patch, WindowsArgument(dir_ / "old.dat")});
  EXPECT_EQ(apply.exitStatus, 0) << apply.err;
  EXPECT_TRUE(ReadFile(dir_ / "old.dat") == edited);

  WriteFile(dir_ / "other.dat", TestArchive{"ZEL00", {{kVoice, "other"}, {kSo, "so"}}}.Bytes());
  ToolRun wrong = Run({"apply", patch, WindowsArgument(dir_ / "other.dat")});
  EXPECT_EQ(wrong.exitStatus, 2);
  EXPECT_EQ(wrong.err, "mgarc: " + WindowsArgument(dir_ / "other.dat") +
                           ": not the archive this patch applies to; entries that differ: "
                           "changed 音声/声.TXT\n");
}

// A patch is the same format on both hosts: deflated on one, it inflates on
// the other.
TEST_F(WindowsMgarc, APatchMadeOnEitherHostAppliesOnTheOther) {
  std::string text;
  for (int line = 0; text.size() < 300000; ++line) text += "line " + std::to_string(line) + "\r\n";
  std::string edited = PatternBytes(200000);
  edited.replace(100000, 4, "EDIT");
  const std::string old =
      TestArchive{"ZEL00", {{kVoice, PatternBytes(200000)}, {kSo, "so"}}}.Bytes();
  const std::string now = TestArchive{"ZEL00", {{kVoice, edited}, {kSo, text}}}.Bytes();
  WriteFile(dir_ / "old.dat", old);
  WriteFile(dir_ / "new.dat", now);
  const std::string linux = MGARC_LINUX_EXE;
  struct Host {
    const char* what;
    bool windowsMakes;
  };
  for (const Host host : {Host{"made on Linux", false}, Host{"made on Windows", true}}) {
    const std::string patch = dir_ / "p.mgp";
    std::filesystem::remove(patch);
    WriteFile(archive_, old);
    ToolRun diff =
        host.windowsMakes
            ? Run({"diff", "-o", WindowsArgument(patch), WindowsArgument(dir_ / "old.dat"),
                   WindowsArgument(dir_ / "new.dat")})
            : RunTool(linux, {"diff", "-o", patch, dir_ / "old.dat", dir_ / "new.dat"}, "");
    ASSERT_EQ(diff.exitStatus, 0) << host.what << diff.err;
    EXPECT_LT(std::filesystem::file_size(patch), text.size() / 4) << host.what;
    ToolRun apply = host.windowsMakes
                        ? RunTool(linux, {"apply", patch, archive_}, "")
                        : Run({"apply", WindowsArgument(patch), WindowsArgument(archive_)});
    EXPECT_EQ(apply.exitStatus, 0) << host.what << apply.err;
    EXPECT_TRUE(ReadFile(archive_) == now) << host.what;
  }
}

TEST_F(WindowsMgarc, SystemTextOfAJapaneseSystemIsUtf8) {
  // Wine speaks Japanese in this locale, with code page 932 for its ANSI
  // calls. This machine's C library lacks the locale, so Wine would misread a
  // non-ASCII argument: the name is ASCII.
  std::string missing = WindowsArgument(dir_ / "none.dat");
  ToolRun run = RunTool("/usr/bin/env", {"LC_ALL=ja_JP.UTF-8", kWine, kExe, "list", missing}, "");
  EXPECT_EQ(run.exitStatus, 2);
  std::string prefix = "mgarc: " + missing + ": ";
  ASSERT_EQ(run.err.substr(0, prefix.size()), prefix) << run.err;
  std::string reason = run.err.substr(prefix.size());
  EXPECT_TRUE(IsUtf8(reason)) << reason;
  EXPECT_TRUE(std::any_of(reason.begin(), reason.end(), [](char c) { return (c & 0x80) != 0; }))
      << "not the system's Japanese text: " << reason;
}

TEST_F(WindowsMgarc, ConsoleShowsTheNames) {
  if (!Have("tmux")) GTEST_SKIP() << "needs tmux";
  WriteFile(archive_, TestArchive{"VIZ00", {{kVoice, "voice"}, {kSo, "so"}}}.Bytes());
  const std::string tmux = "tmux -L mgarc-" + std::to_string(getpid());
  const std::string status = dir_ / "status";
  // Bytes written to the console as they are would show as code page 437 or 1252.
  // The terminal stays open after the run, so mgarc waits for no key there.
  WriteFile(dir_ / "list.sh", "env LC_ALL=C.UTF-8 WINEDEBUG=-all " + kWine + " " + kExe +
                                  " list --names '" + WindowsArgument(archive_) + "'\necho $? > " +
                                  status + "\nsleep 60\n");
  ASSERT_EQ(
      std::system(
          (tmux + " new-session -d -s list -x 80 -y 10 'sh " + dir_ / "list.sh" + "'").c_str()),
      0);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!PathExists(status) && std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  std::string screen = Capture(tmux + " capture-pane -p -t list");
  std::system((tmux + " kill-server").c_str());
  EXPECT_EQ(ReadFile(status), "0\n");
  EXPECT_EQ(screen.substr(0, screen.find("\n\n")), "音声/声.TXT\n表/ソ.TXT") << screen;
}

}  // namespace
