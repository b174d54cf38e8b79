// The screens a single argument selects, as the tool writes them with no
// terminal to wait at: each screen, then at once its 24 newlines.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "run_tool.h"

namespace {

const char* const kTitles[] = {"☆ 操作説明☆ ", "☆ コマンド一覧☆ ", "☆ バージョン情報☆ ",
                               "☆ 識別子一覧表☆ "};
const char* const kNames[] = {"help", "commands", "version", "identifiers"};

// The screens written, by their titles, in order of appearance.
std::vector<std::string> ScreensShown(const std::string& out) {
  std::vector<std::pair<std::size_t, std::string>> found;
  for (int i = 0; i < 4; ++i) {
    for (std::size_t at = out.find(kTitles[i]); at != std::string::npos;
         at = out.find(kTitles[i], at + 1)) {
      found.emplace_back(at, kNames[i]);
    }
  }
  std::sort(found.begin(), found.end());
  std::vector<std::string> names;
  for (const auto& item : found) names.push_back(item.second);
  return names;
}

std::vector<std::string> Show(const std::string& argument) {
  ToolRun run = RunTool(MARROWGILDER_BINARY, {argument}, "");
  EXPECT_EQ(run.exitStatus, 0) << argument;
  EXPECT_EQ(run.err, "") << argument;
  return ScreensShown(run.out);
}

using Names = std::vector<std::string>;

TEST(ScreenCommands, SingleCommands) {
  EXPECT_EQ(Show("?"), Names{"help"});
  EXPECT_EQ(Show("/?"), Names{"help"});
  EXPECT_EQ(Show("c"), Names{"commands"});
  EXPECT_EQ(Show("C"), Names{"commands"});
  EXPECT_EQ(Show("-c"), Names{"commands"});
  EXPECT_EQ(Show("d"), Names{"version"});
  EXPECT_EQ(Show("D"), Names{"version"});
  EXPECT_EQ(Show("r"), Names{"identifiers"});
  EXPECT_EQ(Show("R"), Names{"identifiers"});
}

TEST(ScreenCommands, SeveralScreensAlwaysInCommandOrder) {
  EXPECT_EQ(Show("cd"), (Names{"commands", "version"}));
  EXPECT_EQ(Show("dc"), (Names{"commands", "version"}));
  EXPECT_EQ(Show("credits"), (Names{"commands", "version", "identifiers"}));
  EXPECT_EQ(Show("?rdc"), (Names{"help", "commands", "version", "identifiers"}));
}

TEST(ScreenCommands, ArgumentsThatNameNoScreen) {
  EXPECT_EQ(Show("Cd"), Names{"version"});  // not "c" ignoring case, no lower-case "c"
  for (const char* argument : {"TK", "", "xyz", "CD"}) {
    ToolRun run = RunTool(MARROWGILDER_BINARY, {argument}, "");
    EXPECT_EQ(run.out, "") << argument;
    EXPECT_EQ(run.exitStatus, 0);
  }
}

TEST(ScreenCommands, EachScreenIs24LinesThenScrolledAway) {
  ToolRun run = RunTool(MARROWGILDER_BINARY, {"cd"}, "");
  std::vector<std::string> lines;
  std::size_t from = 0;
  for (std::size_t at = run.out.find('\n'); at != std::string::npos;
       at = run.out.find('\n', from)) {
    lines.push_back(run.out.substr(from, at - from));
    from = at + 1;
  }
  EXPECT_EQ(from, run.out.size());  // nothing after the last line break
  ASSERT_EQ(lines.size(), 96u);
  for (int screen = 0; screen < 2; ++screen) {
    for (int i = 0; i < 24; ++i) {
      const std::string& line = lines[static_cast<std::size_t>(screen * 48 + i)];
      EXPECT_TRUE(line.rfind("☆", 0) == 0 || line.rfind("│", 0) == 0) << line;
    }
    for (int i = 24; i < 48; ++i) EXPECT_EQ(lines[static_cast<std::size_t>(screen * 48 + i)], "");
  }
  EXPECT_NE(lines[3].find("│    C    コマンド一覧 "), std::string::npos) << lines[3];
  EXPECT_NE(lines[48 + 7].find("フリーウェア"), std::string::npos);
}

}  // namespace
