#include "marrowgilder/cli/screens.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "screens_support.h"
#include "test_archive.h"

using marrowgilder::cli::ConsoleKind;
using marrowgilder::cli::kScreenRows;
using marrowgilder::cli::Screen;
using marrowgilder::cli::VersionScreen;

namespace {

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

}  // namespace
