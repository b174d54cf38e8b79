// The cross-built Windows program, run under Wine from this side: code page
// 932 bytes on its console, "\" paths, Windows file names on Wine's Z: drive,
// a real message box under Xvfb and the key wait in a terminal.
#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "marrowgilder/cli/screens.h"
#include "run_tool.h"
#include "test_archive.h"
#include "wine_fixture.h"

using marrowgilder::cli::CommandListScreen;
using marrowgilder::cli::HelpScreen;
using marrowgilder::cli::Screen;
using marrowgilder::cli::VersionScreen;

namespace {

const std::string kExe = MARROWGILDER_WINDOWS_EXE;
// Redirected output ends its lines as Windows programs do, with CR LF.
const std::string kAllocationLine = "MemAllocating" + std::string(50, '.') + "Done!\r\n";

std::string Prompt(int count) {
  return Utf8ToCp932(std::to_string(count) +
                     "個のデータが見つかりました。\r\n何番目のデータから抽出をはじめますか？\r\n");
}

// The same path as the program writes it: code page 932.
std::string WindowsPath(const std::string& linuxPath) {
  return Utf8ToCp932(WindowsArgument(linuxPath));
}

class WindowsProgram : public WineTest {
 protected:
  WindowsProgram() : WineTest(kExe) {}
  std::string archive_ = dir_ / "game.dat";
  std::string out_ = dir_ / "out";
};

const std::string kOwnPrefix = MARROWGILDER_WINE_PREFIX;

// The names in the prefix's dosdevices that are serial or parallel ports.
std::vector<std::string> PortsOfOwnPrefix() {
  std::vector<std::string> ports;
  if (DIR* devices = opendir((kOwnPrefix + "/dosdevices").c_str())) {
    while (dirent* entry = readdir(devices)) {
      std::string name = entry->d_name;
      if (name.rfind("com", 0) == 0 || name.rfind("lpt", 0) == 0) ports.push_back(name);
    }
    closedir(devices);
  }
  return ports;
}

// Made once per build. Wine makes a port of every serial device it finds, at
// every start, unless the registry maps that port: mapped to nothing, it is
// removed. COM1-COM9 and LPT1-LPT9 are the ones a file name can reach.
bool PrepareOwnPrefix() {
  const std::string ready = kOwnPrefix + "/ports-lead-nowhere";
  if (PathExists(ready)) return true;
  std::string ports = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\n";
  for (const char* kind : {"COM", "LPT"}) {
    for (int n = 1; n <= 9; ++n)
      ports += "\"" + std::string(kind) + std::to_string(n) + "\"=\"\"\n";
  }
  WriteFile(kOwnPrefix + ".reg", ports);
  // The second start is the first with the ports mapped.
  std::string setUp = "export WINEPREFIX='" + kOwnPrefix +
                      "' WINEDLLOVERRIDES='mscoree,mshtml='; " + kWine + " wineboot --init && " +
                      kWine + " reg import '" + kOwnPrefix + ".reg' && wineserver -w && " + kWine +
                      " cmd /c exit && wineserver -w";
  if (std::system(("(" + setUp + ") >/dev/null 2>&1").c_str()) != 0) return false;
  for (const std::string& port : PortsOfOwnPrefix()) {
    bool numberedBelowTen = port.size() == 4 && port[3] >= '1' && port[3] <= '9';
    if (numberedBelowTen) return false;
  }
  WriteFile(ready, "");
  return true;
}

// The Windows program in a Wine prefix of the tests' own, where a device name
// that slipped through could never reach a real serial or parallel port, and
// where drive M: is the test's directory.
class WindowsProgramInOwnPrefix : public WindowsProgram {
 protected:
  void SetUp() override {
    WindowsProgram::SetUp();
    if (IsSkipped()) return;
    ASSERT_TRUE(PrepareOwnPrefix()) << "cannot make the Wine prefix " << kOwnPrefix;
    // The ports that Wine found on this machine go too; the registry keeps
    // COM1-COM9 and LPT1-LPT9 away at the next start.
    for (const std::string& port : PortsOfOwnPrefix()) {
      unlink((kOwnPrefix + "/dosdevices/" + port).c_str());
    }
    const std::string drive = kOwnPrefix + "/dosdevices/m:";
    unlink(drive.c_str());
    ASSERT_EQ(symlink(dir_.path().c_str(), drive.c_str()), 0);
    const char* previous = getenv("WINEPREFIX");
    previousPrefix_ = previous == nullptr ? "" : previous;
    setenv("WINEPREFIX", kOwnPrefix.c_str(), 1);
  }
  void TearDown() override {
    if (previousPrefix_.empty()) {
      unsetenv("WINEPREFIX");
    } else {
      setenv("WINEPREFIX", previousPrefix_.c_str(), 1);
    }
  }
  std::string previousPrefix_;
};

TEST_F(WindowsProgram, CompleteRunSpeaksCodePage932WithBackslashPaths) {
  WriteFile(archive_, TestArchive{"VIZ00", {{"A.TXT", "abc"}, {"SE\\B.WAV", "de"}}}.Bytes());
  ToolRun run = Run({"TK", WindowsArgument(archive_), WindowsArgument(out_)}, "1\n");
  EXPECT_EQ(run.out, kAllocationLine + Prompt(2) + "Loading : No.   1/   2 -->" +
                         WindowsPath(out_) + "\\A.TXT\r\nLoading : No.   2/   2 -->" +
                         WindowsPath(out_) + "\\SE\\B.WAV\r\n");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(ReadFile(out_ + "/A.TXT"), "abc");
  EXPECT_EQ(ReadFile(out_ + "/SE/B.WAV"), "de");
}

TEST_F(WindowsProgram, JapaneseNamesBecomeWindowsFileNames) {
  TestArchive archive{"ZEL00",
                      {{"\x89\xB9\x90\xBA\\\x90\xBA.TXT", "voice"},  // 音声\声.TXT
                       {"\x95\x5C\\\x83\x5C.TXT", "so"},             // 表\ソ.TXT
                       {"\x95\x5C\\\x81\x60.TXT", "wave"}}};         // 表\～.TXT
  WriteFile(archive_, archive.Bytes());
  std::string deep = out_ + "/出力/深い";  // missing levels with Japanese names
  ToolRun run = Run({"IG", WindowsArgument(archive_), WindowsArgument(deep)}, "1\n");
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ListTree(deep),
            (std::vector<std::string>{"表/", "表/ソ.TXT", "表/～.TXT", "音声/", "音声/声.TXT"}));
  EXPECT_EQ(ReadFile(deep + "/表/～.TXT"), "wave");
  EXPECT_NE(run.out.find("-->" + WindowsPath(deep) + "\\\x95\x5C\\\x83\x5C.TXT\r\n"),
            std::string::npos);
}

TEST_F(WindowsProgram, DirectoriesDifferingInCaseAreOne) {
  WriteFile(archive_, TestArchive{"VIZ00", {{"SE\\A.WAV", "a"}, {"se\\B.WAV", "b"}}}.Bytes());
  ToolRun run = Run({"TK", WindowsArgument(archive_), WindowsArgument(out_)}, "1\n");
  EXPECT_EQ(run.exitStatus, 0) << run.err;
  EXPECT_EQ(ListTree(out_), (std::vector<std::string>{"SE/", "SE/A.WAV", "SE/B.WAV"}));
}

// The screens as the program writes them to a pipe: 80-byte rows in code page
// 932 that the console wraps, then the 24 line ends that scroll them away.
std::string ScreenBytes(const std::vector<const Screen*>& screens) {
  std::string bytes;
  for (const Screen* screen : screens) {
    for (const char* row : screen->rows) {
      std::string cp932 = Utf8ToCp932(row);
      EXPECT_EQ(cp932.size(), 80u);
      bytes += cp932;
    }
    for (int i = 0; i < 24; ++i) bytes += "\r\n";
  }
  return bytes;
}

TEST_F(WindowsProgram, ScreensAreTheirExactBytes) {
  ToolRun run = Run({"cd"}, "");
  std::string expected = ScreenBytes({&CommandListScreen, &VersionScreen});
  EXPECT_TRUE(run.out == expected) << "got " << run.out.size() << " bytes";
  EXPECT_EQ(run.exitStatus, 0);
  // The full-width 'Ｄ' is 0x82 0x63 here: its second byte is "c".
  EXPECT_EQ(Run({"Ｄ"}, "").out.substr(0, 160),
            Utf8ToCp932(CommandListScreen.rows[0]) + Utf8ToCp932(CommandListScreen.rows[1]));
}

TEST_F(WindowsProgram, ReportsAndExitStatuses) {
  ToolRun missing = Run({"TK", WindowsArgument(dir_ / "none.dat"), WindowsArgument(out_)}, "1\n");
  EXPECT_EQ(missing.out, kAllocationLine);
  EXPECT_EQ(missing.exitStatus, 2);

  WriteFile(archive_, TestArchive{"ZEL00", {}}.Bytes());
  ToolRun wrongFamily = Run({"TK", WindowsArgument(archive_), WindowsArgument(out_)}, "1\n");
  EXPECT_EQ(wrongFamily.out, kAllocationLine);
  EXPECT_EQ(wrongFamily.exitStatus, 2);

  WriteFile(archive_, TestArchive{"VIZ00", {{"GOOD", "g"}, {"..\\EVIL", "e"}}}.Bytes());
  ToolRun refused = Run({"TK", WindowsArgument(archive_), WindowsArgument(out_)}, "1\n");
  EXPECT_EQ(refused.exitStatus, 1);
  EXPECT_EQ(refused.err, "Skipped : No.   2/   2 -->" + WindowsPath(out_) +
                             "\\..\\EVIL: the name leads out of the output directory\r\n");
  EXPECT_FALSE(PathExists(dir_ / "EVIL"));
  EXPECT_EQ(ReadFile(out_ + "/GOOD"), "g");

  ToolRun overflow = Run({"TK", WindowsArgument(archive_), WindowsArgument(out_)}, "3\n");
  EXPECT_EQ(overflow.exitStatus, 2);

  ToolRun silent = Run({"TestGame", WindowsArgument(archive_), WindowsArgument(out_)}, "1\n");
  EXPECT_EQ(silent.out, "");
  EXPECT_EQ(silent.exitStatus, 0);
}

TEST_F(WindowsProgram, ArgumentsCodePage932CannotHoldAreRefused) {
  // Only where a '?' would name another file: the paths of an extraction.
  WriteFile(archive_, TestArchive{"VIZ00", {{"A.TXT", "abc"}}}.Bytes());
  for (const auto& [arguments, number] : std::vector<std::pair<std::vector<std::string>, int>>{
           {{"TK", WindowsArgument(dir_ / "game😀.dat"), WindowsArgument(out_)}, 2},
           {{"TK", WindowsArgument(archive_), WindowsArgument(out_ + "😀")}, 3},
       }) {
    ToolRun run = Run(arguments, "1\n");
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_EQ(run.out, "");
    EXPECT_NE(run.err.find("argument " + std::to_string(number)), std::string::npos) << run.err;
    EXPECT_EQ(ListTree(dir_.path()), std::vector<std::string>{"game.dat"});
  }
}

TEST_F(WindowsProgram, ArgumentsCodePage932CannotHoldAreDispatchedWithQuestionMarks) {
  // "c😀" becomes "c??": the operating instructions, then the command list.
  ToolRun screens = Run({"c😀"}, "");
  EXPECT_TRUE(screens.out == ScreenBytes({&HelpScreen, &CommandListScreen}))
      << "got " << screens.out.size() << " bytes";
  EXPECT_EQ(screens.exitStatus, 0);

  ToolRun five = Run({"TK😀", "😀", "😀", "😀", "😀"}, "1\n");
  EXPECT_EQ(five.out + five.err, "");
  EXPECT_EQ(five.exitStatus, 0);

  ToolRun unknownGame = Run({"😀", WindowsArgument(archive_), WindowsArgument(out_ + "😀")}, "1\n");
  EXPECT_EQ(unknownGame.out + unknownGame.err, "");
  EXPECT_EQ(unknownGame.exitStatus, 0);

  // The identifier still matches by containment.
  WriteFile(archive_, TestArchive{"VIZ00", {{"A.TXT", "abc"}}}.Bytes());
  ToolRun extracted = Run({"TK😀", WindowsArgument(archive_), WindowsArgument(out_)}, "1\n");
  EXPECT_EQ(extracted.exitStatus, 0) << extracted.err;
  EXPECT_EQ(ReadFile(out_ + "/A.TXT"), "abc");
}

TEST_F(WindowsProgramInOwnPrefix, OutputDirectoryWithoutARootIsTakenFromTheCurrentDirectory) {
  // The current directory is M:\cwd, and M:\ is the test's directory.
  WriteFile(archive_, TestArchive{"VIZ00", {{"A.TXT", "a"}, {"SE\\B.WAV", "b"}}}.Bytes());
  struct Case {
    std::string output;
    std::vector<std::string> tree;  // below the test's directory afterwards
  };
  for (const Case& c : {
           Case{"REL\\SUB",
                {"cwd/", "cwd/REL/", "cwd/REL/SUB/", "cwd/REL/SUB/A.TXT", "cwd/REL/SUB/SE/",
                 "cwd/REL/SUB/SE/B.WAV", "game.dat"}},
           Case{"M:OUT",
                {"cwd/", "cwd/OUT/", "cwd/OUT/A.TXT", "cwd/OUT/SE/", "cwd/OUT/SE/B.WAV",
                 "game.dat"}},
           Case{"M:\\ROOTED",
                {"ROOTED/", "ROOTED/A.TXT", "ROOTED/SE/", "ROOTED/SE/B.WAV", "cwd/", "game.dat"}},
       }) {
    for (const auto& entry : std::filesystem::directory_iterator(dir_.path())) {
      if (entry.path().filename() != "game.dat") std::filesystem::remove_all(entry.path());
    }
    std::filesystem::create_directory(dir_ / "cwd");
    ToolRun run = RunTool(kWine, {kExe, "TK", WindowsArgument(archive_), c.output}, "1\n",
                          InDirectory(dir_ / "cwd"));
    EXPECT_EQ(run.exitStatus, 0) << c.output << ": " << run.err;
    EXPECT_EQ(ListTree(dir_.path()), c.tree) << c.output;
  }
}

TEST_F(WindowsProgramInOwnPrefix, DevicesAndStreamsAreRefusedLikeNamesLeavingTheOutput) {
  const std::vector<std::string> refused = {"NUL.TXT",  "aux",        "COM1.DAT",    "lpt1",
                                            "CON .TXT", "SE\\PRN\\A", "README.TXT:x"};
  TestArchive archive{"VIZ00", {{"OK.TXT", "ok"}}};
  for (const std::string& name : refused) archive.entries.push_back({name, "lost"});
  WriteFile(archive_, archive.Bytes());
  ToolRun run = Run({"TK", WindowsArgument(archive_), WindowsArgument(out_)}, "1\n");
  EXPECT_EQ(run.exitStatus, 1);
  EXPECT_EQ(ListTree(out_), std::vector<std::string>{"OK.TXT"});
  for (const std::string& name : refused) {
    EXPECT_NE(run.err.find(WindowsPath(out_) + "\\" + name + ": the name "), std::string::npos)
        << name << " in " << run.err;
  }
  EXPECT_EQ(run.out.find("Loading : No.   2/"), std::string::npos);
}

TEST_F(WindowsProgram, MessageBoxHoldsTheRunUntilOkIsPressed) {
  if (!Have("Xvfb") || !Have("xdotool") || !Have("import")) {
    GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick's import";
  }
  XDisplay display;
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  Background run({kWine, kExe, "TK", WindowsArgument(dir_ / "none.dat"), WindowsArgument(out_)});
  std::string window;
  ASSERT_TRUE(Eventually(
      [&] {
        window = Capture("xdotool search --name '^Error!$' 2>/dev/null | head -n 1");
        return !window.empty();
      },
      60000))
      << "no window titled Error!";
  window.erase(window.find_last_not_of("\n") + 1);
  EXPECT_FALSE(run.Ended(1000)) << "the run did not wait for the box";
  std::system(("import -window root '" + std::string(MARROWGILDER_ARTIFACTS) +
               "/message-box.png' 2>/dev/null")
                  .c_str());
  // No window manager runs here: give the box the focus directly, then press Enter on OK.
  std::system(("xdotool windowfocus --sync " + window + " key Return").c_str());
  ASSERT_TRUE(run.Ended(20000)) << "OK did not end the run";
  EXPECT_EQ(run.status(), 2);
}

TEST_F(WindowsProgram, KeyWaitInATerminal) {
  if (!Have("tmux")) GTEST_SKIP() << "needs tmux";
  const std::string tmux = "tmux -L marrowgilder-" + std::to_string(getpid());
  const std::string status = dir_ / "status";
  // "credits" shows three screens: the command list, the version, the identifiers.
  std::string command = "env LC_ALL=C.UTF-8 WINEDEBUG=-all " + kWine + " " + kExe +
                        " credits; echo $? > " + status + "; sleep 60";
  ASSERT_EQ(std::system((tmux + " new-session -d -s keys -x 80 -y 25 '" + command + "'").c_str()),
            0);
  auto screen = [&] { return Capture(tmux + " capture-pane -p -t keys"); };
  auto pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(700)); };
  bool shown = Eventually(
      [&] { return screen().find("どれかキーを押してください") != std::string::npos; }, 60000);
  pause();
  bool firstWaited = !PathExists(status);
  std::system((tmux + " send-keys -t keys x").c_str());
  bool second = Eventually([&] { return screen().find("Genuine") != std::string::npos; }, 20000);
  pause();
  bool secondWaited = !PathExists(status);
  // Up: a prefix for this wait, and its second code ends the third screen's wait.
  std::system((tmux + " send-keys -t keys Up").c_str());
  bool ended = Eventually([&] { return PathExists(status); }, 20000);
  std::string finalStatus = ReadFile(status);
  std::system((tmux + " kill-server").c_str());
  ASSERT_TRUE(shown) << "no screen in the terminal";
  EXPECT_TRUE(firstWaited) << "the first screen did not wait";
  EXPECT_TRUE(second) << "a key did not bring the second screen";
  EXPECT_TRUE(secondWaited) << "the second screen did not wait";
  ASSERT_TRUE(ended) << "a cursor key did not end the last two waits";
  EXPECT_EQ(finalStatus, "0\n");
}

}  // namespace
