// mgarcw.exe, mgarc's window, run under Wine on an X server of its own and
// driven by a Windows program that sends it the messages a person's clicks
// and keys would (window_driver.exe), reading back what it shows.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "mgarc/window/window_resources.h"
#include "run_tool.h"
#include "test_archive.h"
#include "wine_fixture.h"

namespace {

const std::string kDriver = MGARC_WINDOW_DRIVER;
const std::string kMgarc = MGARC_LINUX_EXE;
constexpr int kOk = 1;  // Windows' IDOK: a dialog's OK button

// What the window showed: its title, its rows' cells and its status bar.
struct Shown {
  std::string title;
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> status;
  std::string preview;      // what the preview pane says it shows
  std::string previewText;  // its text's first line
};

// A dialog of the window: its title and its controls' texts, a line each.
struct DialogShown {
  std::string title;
  std::string texts;
  std::vector<std::string> rows;  // a list's, its cells split by tabs
  bool Says(const std::string& words) const { return texts.find(words) != std::string::npos; }
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
      if (fields[0] == "preview") shown.preview = fields.size() > 1 ? fields[1] : "";
      if (fields[0] == "previewtext") shown.previewText = fields.size() > 1 ? fields[1] : "";
    }
    return shown;
  }

  // The driver's command on a dialog of the window; for "dialog", what it shows.
  DialogShown OnDialog(const std::vector<std::string>& command) {
    ToolRun run = RunTool(kWine, Prepend(kDriver, command), "");
    EXPECT_EQ(run.exitStatus, 0) << command[0] << ": " << run.out << run.err;
    DialogShown shown;
    std::istringstream lines(run.out);
    for (std::string line; std::getline(lines, line);) {
      if (line.rfind("dialog\t", 0) == 0) shown.title = line.substr(7);
      if (line.rfind("row\t", 0) == 0) shown.rows.push_back(line.substr(4));
      // "text\tID\tTEXT": the text alone.
      const std::size_t tab = line.find('\t', 5);
      if (line.rfind("text\t", 0) == 0 && tab != std::string::npos) {
        shown.texts += line.substr(tab + 1) + "\n";
      }
    }
    return shown;
  }
  DialogShown Dialog() { return OnDialog({"dialog"}); }
  void Fill(int field, const std::string& text) { OnDialog({"fill", std::to_string(field), text}); }
  void Click(int button) { OnDialog({"click", std::to_string(button)}); }
  void Command(int command) { Drive({"command", std::to_string(command)}); }

  // A picture of the screen for a person to look at, in the build's folder.
  static void Screenshot(const std::string& name) {
    std::system(("import -window root '" + std::string(MARROWGILDER_ARTIFACTS) + "/mgarcw-" + name +
                 ".png' 2>/dev/null")
                    .c_str());
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

  // Wine's own services, started before the window and the driver: started
  // by a driver, they would hold its output open until they go, long after
  // it has ended.
  static void StartWine() { std::system((kWine + " wineboot >/dev/null 2>&1").c_str()); }

  void Close(Background& window) {
    Drive({"close"});
    ASSERT_TRUE(window.Ended(20000)) << "the window did not close";
    EXPECT_EQ(window.status(), 0);
  }

  std::string archive_ = dir_ / "voice.dat";
};

using Names = std::vector<std::string>;

// A WAVE file of size bytes: its RIFF header, then bytes of no meaning.
std::string Wave(std::size_t size) {
  const auto riffSize = static_cast<std::uint32_t>(size - 8);
  std::string bytes = "RIFF";
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>(riffSize >> shift & 0xFF);
  return bytes + "WAVE" + PatternBytes(size - 12);
}

TEST_F(WindowsWindow, ShowsTheTreeRowsAndCountsOfAnArchiveWithJapaneseNames) {
  // 音声\声.TXT and 音声\長.WAV, in code page 932.
  const std::string voice = "\x89\xB9\x90\xBA";
  WriteFile(archive_, TestArchive{"VIZ00",
                                  {{"README.TXT", "read me"},
                                   {"SE\\DOOR.WAV", Wave(3000)},
                                   {"SE\\STEP.WAV", PatternBytes(100)},
                                   {voice + "\\\x90\xBA.TXT",
                                    "\x82\xA0"
                                    "a"},
                                   {voice + "\\\x92\xB7.WAV", PatternBytes(20)}}}
                          .Bytes());
  XDisplay display("1024x768x24");
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  StartWine();
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
  EXPECT_EQ(Drive({"select", "0"}).preview, "sound");
  EXPECT_EQ(NamesOf(Drive({"sort", "1"})), (Names{"STEP.WAV", "DOOR.WAV"}));
  EXPECT_EQ(NamesOf(Drive({"sort", "1"})), (Names{"DOOR.WAV", "STEP.WAV"}));  // larger first
  Screenshot("list");

  // The files previewed: text from code page 932, anything else in hex (the
  // larger first, in the order chosen above).
  Drive({"filter", ""});
  Drive({"directory", "1"});
  Shown text = Drive({"select", "1"});
  EXPECT_EQ(text.preview, "text (code page 932)");
  EXPECT_EQ(text.previewText, "あa");
  EXPECT_EQ(text.status[1], "1 file, 3 bytes selected");
  Shown bytes = Drive({"select", "0"});
  EXPECT_EQ(bytes.preview, "hex");
  char first[32];
  const std::string wave = PatternBytes(20);
  std::snprintf(first, sizeof first, "00000000  %02x %02x", static_cast<unsigned char>(wave[0]),
                static_cast<unsigned char>(wave[1]));
  EXPECT_EQ(bytes.previewText.substr(0, 15), first);
  Screenshot("preview");

  Close(window);
}

TEST_F(WindowsWindow, ExtractsTheSelectionAndAsksBeforeReplacingFilesThatDiffer) {
  const std::string out = dir_ / "out";
  WriteFile(archive_, TestArchive{"VIZ00",
                                  {{"A.TXT", "one"},
                                   {"SE\\B.WAV", PatternBytes(5000)},
                                   {"SE\\C.TXT", "three"},
                                   {"SE\\D.TXT", "four"}}}
                          .Bytes());
  // Two files edited since an earlier extraction.
  std::filesystem::create_directories(out + "/SE");
  WriteFile(out + "/SE/C.TXT", "edited three");
  WriteFile(out + "/SE/D.TXT", "edited four");
  XDisplay display("1024x768x24");
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  StartWine();
  Background window({kWine, exe_, WindowsArgument(archive_)});
  Drive({"directory", "0"});
  EXPECT_EQ(Drive({"select", "0", "1", "2"}).status[1], "3 files, 5,009 bytes selected");

  Command(IDM_EXTRACT);
  EXPECT_TRUE(Dialog().Says("3 files of voice.dat into this folder"));
  Fill(IDC_PATH, WindowsArgument(out));
  Click(kOk);
  DialogShown question = Dialog();
  EXPECT_TRUE(question.Says("SE/C.TXT is in the folder already, and differs")) << question.texts;
  EXPECT_TRUE(question.Says("Do this for all 2 files that differ")) << question.texts;
  Screenshot("replace");
  OnDialog({"tick"});
  Click(IDC_REPLACE);
  DialogShown done = Dialog();
  EXPECT_TRUE(done.Says("3 files of voice.dat in " + WindowsArgument(out) + ".")) << done.texts;
  Click(kOk);

  EXPECT_FALSE(PathExists(out + "/A.TXT"));
  EXPECT_EQ(ReadFile(out + "/SE/B.WAV"), PatternBytes(5000));
  EXPECT_EQ(ReadFile(out + "/SE/C.TXT"), "three");
  EXPECT_EQ(ReadFile(out + "/SE/D.TXT"), "four");
  Close(window);
}

TEST_F(WindowsWindow, PutsBackWhatAFolderChangesAfterShowingIt) {
  WriteFile(archive_, TestArchive{"VIZ00", {{"A.TXT", "one"}, {"SE\\B.TXT", "two"}}}.Bytes());
  const std::string edited = dir_ / "edited";
  std::filesystem::create_directories(edited + "/SE");
  WriteFile(edited + "/SE/B.TXT", "two, translated");
  WriteFile(edited + "/NEW.TXT", "new");
  XDisplay display("1024x768x24");
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  StartWine();
  Background window({kWine, exe_, WindowsArgument(archive_)});
  Drive({"show"});

  Command(IDM_PUT_BACK);
  Fill(IDC_PATH, WindowsArgument(edited));
  Click(kOk);
  DialogShown question = Dialog();
  EXPECT_TRUE(question.Says("Put back into voice.dat?")) << question.texts;
  EXPECT_TRUE(question.Says("1 replaced, 1 added, 0 deleted, 1 kept")) << question.texts;
  EXPECT_TRUE(question.Says("replaced SE/B.TXT")) << question.texts;
  EXPECT_TRUE(question.Says("added NEW.TXT")) << question.texts;
  Screenshot("put-back");
  Click(IDC_GO);
  OnDialog({"no-dialog"});

  // Reloaded, and what mgarc reads in the archive.
  EXPECT_EQ(Drive({"show"}).status[0], "3 entries, 21 bytes");
  EXPECT_EQ(RunTool(kMgarc, {"cat", archive_, "SE/B.TXT"}, "").out, "two, translated");
  EXPECT_EQ(RunTool(kMgarc, {"cat", archive_, "NEW.TXT"}, "").out, "new");
  EXPECT_EQ(RunTool(kMgarc, {"verify", archive_}, "").exitStatus, 0);
  Close(window);
}

TEST_F(WindowsWindow, MakesAndAppliesAPatchButNotToAnotherArchive) {
  const std::string edited = dir_ / "edited.dat";
  const std::string patch = dir_ / "voice.patch";
  const std::string copy = dir_ / "copy.dat";
  const std::string other = dir_ / "other.dat";
  WriteFile(archive_, TestArchive{"VIZ00", {{"A.TXT", "one"}, {"B.TXT", "two"}}}.Bytes());
  WriteFile(edited, TestArchive{"VIZ00", {{"A.TXT", "one"}, {"B.TXT", "two, translated"}}}.Bytes());
  WriteFile(other, TestArchive{"VIZ00", {{"C.TXT", "another game"}}}.Bytes());
  XDisplay display("1024x768x24");
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  StartWine();
  {
    Background window({kWine, exe_, WindowsArgument(archive_)});
    Drive({"show"});
    Command(IDM_MAKE_PATCH);
    Fill(IDC_PATH, WindowsArgument(edited));
    Fill(IDC_SECOND_PATH, WindowsArgument(patch));
    Click(kOk);
    DialogShown made = Dialog();
    EXPECT_TRUE(made.Says("1 changed, 0 added, 0 removed")) << made.texts;
    EXPECT_TRUE(made.Says("changed B.TXT (3 -> 15)")) << made.texts;
    Click(kOk);
    // Into a copy: the archive shown stays as it was.
    Command(IDM_APPLY_PATCH);
    Fill(IDC_PATH, WindowsArgument(patch));
    Click(IDC_TO_COPY);
    Fill(IDC_SECOND_PATH, WindowsArgument(copy));
    Click(kOk);
    DialogShown applied = Dialog();
    EXPECT_TRUE(applied.Says(WindowsArgument(copy) + ": patched")) << applied.texts;
    Screenshot("patched");
    Click(kOk);
    Close(window);
  }
  EXPECT_EQ(ReadFile(copy), ReadFile(edited));

  // The wrong archive: the command line's words, and nothing written.
  const std::string otherBefore = ReadFile(other);
  ToolRun command = RunTool(kMgarc, {"apply", patch, other}, "");
  const std::string reason = command.err.substr(command.err.find(other + ": ") + other.size() + 2);
  ASSERT_FALSE(reason.empty()) << command.err;
  Background window({kWine, exe_, WindowsArgument(other)});
  Drive({"show"});
  Command(IDM_APPLY_PATCH);
  Fill(IDC_PATH, WindowsArgument(patch));
  Click(kOk);
  DialogShown refused = Dialog();
  EXPECT_TRUE(refused.Says(WindowsArgument(other) + ": " + reason.substr(0, reason.find('\n'))))
      << refused.texts << "\nthe command line: " << command.err;
  Click(kOk);
  EXPECT_EQ(ReadFile(other), otherBefore);
  Close(window);
}

TEST_F(WindowsWindow, ListsTheFindingsFromTheStatusBarAndAfterVerify) {
  // Bytes after the directory: a finding of the layout, seen at opening.
  WriteFile(archive_,
            TestArchive{"VIZ00", {{"A.TXT", "one"}, {"B.TXT", "two"}}}.Bytes() + "trailing");
  XDisplay display("1024x768x24");
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  StartWine();
  Background window({kWine, exe_, WindowsArgument(archive_)});
  EXPECT_EQ(Drive({"show"}).status[2], "1 finding: click to see it");

  Drive({"status-click", "2"});
  DialogShown layout = Dialog();
  EXPECT_EQ(layout.title, "Findings");
  ASSERT_EQ(layout.rows.size(), 1u);
  EXPECT_EQ(layout.rows[0].rfind("the archive\tbytes_after_directory: 8 bytes", 0), 0u)
      << layout.rows[0];
  Click(2);  // Close

  Command(IDM_VERIFY);
  DialogShown verified = Dialog();
  EXPECT_TRUE(verified.Says("voice.dat: 2 files, 1 finding")) << verified.texts;
  EXPECT_EQ(verified.rows.size(), 1u);
  Screenshot("findings");
  Click(2);
  EXPECT_EQ(Drive({"show"}).status[2], "1 finding (verified): click to see it");
  Close(window);
}

TEST_F(WindowsWindow, ACancelledExtractionLeavesOnlyWholeFiles) {
  TestArchive many;
  for (int i = 0; i < 10000; ++i) {
    many.entries.push_back({"D" + std::to_string(i % 20) + "\\F" + std::to_string(i),
                            PatternBytes(4096, static_cast<unsigned>(i + 1))});
  }
  WriteFile(archive_, many.Bytes());
  const std::string out = dir_ / "out";
  XDisplay display("1024x768x24");
  ASSERT_TRUE(display.ready()) << "Xvfb did not start";
  StartWine();
  Background window({kWine, exe_, WindowsArgument(archive_)});
  Drive({"show"});

  Command(IDM_EXTRACT_ALL);
  Fill(IDC_PATH, WindowsArgument(out));
  // Waiting already, so that Cancel comes as soon as the progress shows.
  Background cancel({kWine, kDriver, "cancel-progress", "Extracting from voice.dat"});
  Click(kOk);
  ASSERT_TRUE(cancel.Ended(60000));
  EXPECT_EQ(cancel.status(), 0);
  DialogShown stopped = OnDialog({"dialog", "Stopped: "});
  EXPECT_TRUE(stopped.Says("Stopped: ")) << stopped.texts;
  EXPECT_TRUE(stopped.Says("No file is left half-written.")) << stopped.texts;
  Click(kOk);

  // Each file there is its entry's whole bytes, and there are as many as it said.
  std::size_t files = 0;
  for (const auto& item : std::filesystem::recursive_directory_iterator(out)) {
    if (!item.is_regular_file()) continue;
    const std::string name = item.path().filename().string();
    const int i = std::stoi(name.substr(1));
    EXPECT_EQ(ReadFile(item.path().string()), PatternBytes(4096, static_cast<unsigned>(i + 1)))
        << name;
    ++files;
  }
  EXPECT_LT(files, many.entries.size());
  std::string count = stopped.texts.substr(stopped.texts.find("Stopped: ") + 9);
  count = count.substr(0, count.find(' '));
  count.erase(std::remove(count.begin(), count.end(), ','), count.end());
  EXPECT_EQ(std::to_string(files), count);
  Close(window);
}

}  // namespace
