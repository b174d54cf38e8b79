// How a UTF-8 terminal shows the screens: wcwidth tells a Linux terminal's column widths.
#include "marrowgilder/cli/screens.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cwchar>
#include <string>
#include <vector>

#include "screens_support.h"
#include "test_archive.h"

using marrowgilder::cli::ConsoleKind;
using marrowgilder::cli::kScreenRows;
using marrowgilder::cli::Screen;

namespace {

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

}  // namespace
