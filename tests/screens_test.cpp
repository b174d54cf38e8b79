#include "marrowgilder/cli/screens.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <cwchar>
#include <string>
#include <vector>

#include "test_archive.h"

using marrowgilder::cli::ConsoleKind;
using marrowgilder::cli::CommandListScreen;
using marrowgilder::cli::ConsoleKind;
using marrowgilder::cli::FormatScreenRow;
using marrowgilder::cli::HelpScreen;
using marrowgilder::cli::IdentifierScreen;
using marrowgilder::cli::kScreenRowBufferSize;
using marrowgilder::cli::kScreenRows;
using marrowgilder::cli::Screen;
using marrowgilder::cli::VersionScreen;

namespace {

const Screen* const kAllScreens[] = {&HelpScreen, &CommandListScreen, &VersionScreen,
                                     &IdentifierScreen};

#ifndef _WIN32
// The characters of a UTF-8 row, each with the column a UTF-8 terminal shows it
// in (its own width from wcwidth, which counts ☆ ★ │ ─ ― as one column).
struct Placed {
  std::string character;
  int column;
  int width;
};

std::vector<Placed> PlaceOnTerminal(const std::string& row) {
  std::setlocale(LC_CTYPE, "C.UTF-8");
  std::vector<Placed> placed;
  int column = 0;
  std::mbstate_t state{};
  for (std::size_t i = 0; i < row.size();) {
    wchar_t wide = 0;
    std::size_t length = std::mbrtowc(&wide, row.data() + i, row.size() - i, &state);
    if (length == 0 || length > 4) break;
    int width = wcwidth(wide);
    placed.push_back({row.substr(i, length), column, width});
    column += width;
    i += length;
  }
  return placed;
}

#endif

std::string Formatted(const char* row, ConsoleKind console) {
  char out[kScreenRowBufferSize];
  FormatScreenRow(row, console, out, sizeof out);
  return out;
}

TEST(Screens, EveryRowIs80BytesOfCodePage932) {
  for (const Screen* screen : kAllScreens) {
    ASSERT_EQ(sizeof screen->rows / sizeof screen->rows[0], 24u);
    for (int i = 0; i < kScreenRows; ++i) {
      ASSERT_NE(screen->rows[i], nullptr);
      EXPECT_EQ(Utf8ToCp932(screen->rows[i]).size(), 80u)
          << "row " << i + 1 << ": " << screen->rows[i];
      EXPECT_EQ(std::strchr(screen->rows[i], '%'), nullptr);
    }
  }
}

TEST(Screens, VersionRowsAlignTheirColons) {
  // Rows 6 to 9 put "：" in columns 17 and 18.
  for (int i = 5; i <= 8; ++i) {
    std::string row = Utf8ToCp932(VersionScreen.rows[i]);
    EXPECT_EQ(row.substr(16, 2), Utf8ToCp932("：")) << "row " << i + 1;
  }
}

TEST(Screens, JapaneseConsoleGetsTheRowsAsTheyStand) {
  for (const Screen* screen : kAllScreens) {
    for (const char* row : screen->rows) {
      EXPECT_EQ(Formatted(row, ConsoleKind::kJapaneseConsole), row);
    }
  }
}

#ifndef _WIN32  // wcwidth tells the column widths of a Linux terminal
TEST(Screens, Utf8TerminalShowsEveryCharacterInItsJapaneseColumn) {
  for (const Screen* screen : kAllScreens) {
    for (int i = 0; i < kScreenRows; ++i) {
      const char* row = screen->rows[i];
      std::string line = Formatted(row, ConsoleKind::kUtf8Terminal);
      ASSERT_FALSE(line.empty());
      ASSERT_EQ(line.back(), '\n');
      line.pop_back();
      std::vector<Placed> shown = PlaceOnTerminal(line);
      ASSERT_FALSE(shown.empty());
      EXPECT_EQ(shown.back().column + shown.back().width, 80) << "row " << i + 1 << ": " << row;

      // On the Japanese console a character's column is its byte offset in code page 932.
      std::size_t cp932Offset = 0;
      std::size_t next = 0;
      for (const Placed& original : PlaceOnTerminal(row)) {
        ASSERT_LT(next, shown.size());
        ASSERT_EQ(shown[next].character, original.character) << "row " << i + 1;
        EXPECT_EQ(shown[next].column, static_cast<int>(cp932Offset))
            << "row " << i + 1 << ", " << original.character;
        cp932Offset += Utf8ToCp932(original.character).size();
        // What the terminal adds to make up the second column: a second line
        // character, or a blank.
        bool widened = std::string("☆★│─―").find(original.character) != std::string::npos;
        if (widened) {
          ASSERT_LT(next + 1, shown.size());
          bool isLine = original.character == "─" || original.character == "―";
          EXPECT_EQ(shown[next + 1].character, isLine ? original.character : " ");
        }
        next += widened ? 2 : 1;
      }
      EXPECT_EQ(next, shown.size());
    }
  }
}
#endif

}  // namespace
