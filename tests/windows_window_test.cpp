// mgarcw.exe, mgarc's window, run under Wine on an X server of its own and
// driven by a Windows program that sends it the messages a person's clicks
// and keys would (window_driver.exe), reading back what it shows.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

#include "run_tool.h"
#include "test_archive.h"
#include "wine_fixture.h"

namespace {

const std::string kDriver = MGARC_WINDOW_DRIVER;

// What the window showed: its title, its rows' cells and its status bar.
struct Shown {
  std::string title;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> status;
};

class WindowsWindow : public WineTest {
 protected:
  WindowsWindow() : WineTest(MGARCW_WINDOWS_EXE) {}

  void SetUp() override {
    WineTest::SetUp();
    if (IsSkipped()) return;
    if (!Have("Xvfb") || !Have("xdotool") || !Have("import")) {
      GTEST_SKIP() << "needs Xvfb, xdotool and ImageMagick's import";
    }
  }

  // The driver's command, then what the window shows.
  Shown Drive(const std::vector<std::string>& command) {
    ToolRun run = RunTool(kWine, Prepend(kDriver, command), "");
    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    Shown shown;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
      std::vector<std::string> fields;
      std::istringstream split(line);
      for (std::string field; std::getline(split, field, '\t');) fields.push_back(field);
      if (fields.empty()) continue;
      if (fields[0] == "title") shown.title = fields.size() > 1 ? fields[1] : "";
      if (fields[0] == "row") shown.rows.emplace_back(fields.begin() + 1, fields.end());
      if (fields[0] == "status") shown.status.push_back(fields.size() > 1 ? fields[1] : "");
    }
    return shown;
  }

  static std::vector<std::string> Prepend(const std::string& first, std::vector<std::string> rest) {
    rest.insert(rest.begin(), first);
    return rest;
  }

  static std::vector<std::string> NamesOf(const Shown& shown) {
    std::vector<std::string> names;
    for (const auto& row : shown.rows) names.push_back(row.empty() ? "" : row[0]);
    return names;
  }

  std::string archive_ = dir_ / "voice.dat";
};

using Names = std::vector<std::string>;

TEST_F(WindowsWindow, ShowsTheTreeRowsAndCountsOfAnArchiveWithJapaneseNames) {
  // 音声\声.TXT and 音声\長.WAV, in code page 932.
  const std::string voice = "\x89\xB9\x90\xBA";
  WriteFile(archive_, TestArchive{"VIZ00",
                                  {{"README.TXT", "read me"},
                                   {"SE\\DOOR.WAV", PatternBytes(3000)},
                                   {"SE\\STEP.WAV", PatternBytes(100)},
                                   {voice + "\\\x90\xBA.TXT", "koe"},
                                   {voice + "\\\x92\xB7.WAV", PatternBytes(20)}}}
                          .Bytes());
  XDisplay display("1024x768x24");
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  Background window({kWine, exe_, WindowsArgument(archive_)});

  Shown root = Drive({"show"});
  EXPECT_EQ(root.title, "voice.dat \u2014 Marrowgilder");
  ASSERT_EQ(root.rows.size(), 1u);
  EXPECT_EQ(root.rows[0][0], "README.TXT");
  EXPECT_EQ(root.rows[0][1], "7");
  EXPECT_EQ(root.rows[0][3], "16");
  EXPECT_EQ(root.status, (Names{"5 entries, 3,130 bytes", "1 file, 7 bytes shown", ""}));

  // The tree's second branch (SE comes first in byte order), then a filter
  // there and from the top, then the size column clicked twice.
  EXPECT_EQ(NamesOf(Drive({"directory", "1"})), (Names{"声.TXT", "長.WAV"}));
  EXPECT_EQ(NamesOf(Drive({"filter", "*.wav"})), (Names{"長.WAV"}));
  Shown wav = Drive({"directory", "0"});
  EXPECT_EQ(NamesOf(wav), (Names{"DOOR.WAV", "STEP.WAV"}));
  EXPECT_EQ(wav.status[1], "2 files, 3,100 bytes shown");
  EXPECT_EQ(NamesOf(Drive({"sort", "1"})), (Names{"STEP.WAV", "DOOR.WAV"}));
  EXPECT_EQ(NamesOf(Drive({"sort", "1"})), (Names{"DOOR.WAV", "STEP.WAV"}));  // larger first
  std::system(("import -window root '" + std::string(MARROWGILDER_ARTIFACTS) +
               "/mgarcw-list.png' 2>/dev/null")
                  .c_str());

  Drive({"close"});
  ASSERT_TRUE(window.Ended(20000)) << "the window did not close";
  EXPECT_EQ(window.status(), 0);
}

}  // namespace
