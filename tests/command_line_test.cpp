#include "marrowgilder/cli/command_line.h"

#include <gtest/gtest.h>

#include "marrowgilder/cli/argument_matching.h"

using marrowgilder::cli::ArgumentMatches;
using marrowgilder::cli::FindGameMagic;

namespace {

TEST(ArgumentMatches, WholeArgumentIgnoringAsciiCase) {
  EXPECT_TRUE(ArgumentMatches("tk", "TK"));
  EXPECT_TRUE(ArgumentMatches("Tk", "TK"));
  EXPECT_TRUE(ArgumentMatches("C", "c"));
  EXPECT_FALSE(ArgumentMatches("Cd", "c"));  // not equal, and no lower-case "c" inside
}

TEST(ArgumentMatches, ContainmentIsCaseSensitive) {
  EXPECT_TRUE(ArgumentMatches("xTKy", "TK"));
  EXPECT_FALSE(ArgumentMatches("xtky", "TK"));
  EXPECT_TRUE(ArgumentMatches("/?", "?"));
  EXPECT_TRUE(ArgumentMatches("-c", "c"));
  EXPECT_FALSE(ArgumentMatches("", "c"));
}

TEST(ArgumentMatches, BlindToDoubleByteCharacters) {
  // Full-width 'Ｄ' is 0x82 0x63 in code page 932: its second byte is "c".
  EXPECT_TRUE(ArgumentMatches("\x82\x63", "c"));
  // Only ASCII letters fold: 0xC3 (half-width katakana) equals nothing but itself.
  EXPECT_FALSE(ArgumentMatches("\xC3", "\xE3"));
}

TEST(GameIdentifiers, EachRowSelectsItsMagic) {
  for (const char* argument : {"TK", "tk", "Tk", "xTKy", "GL", "gl", "IGW", "igw"}) {
    ASSERT_NE(FindGameMagic(argument), nullptr) << argument;
    EXPECT_STREQ(FindGameMagic(argument), "VIZ00") << argument;
  }
  for (const char* argument : {"IG", "ig", "IGX"}) {
    ASSERT_NE(FindGameMagic(argument), nullptr) << argument;
    EXPECT_STREQ(FindGameMagic(argument), "ZEL00") << argument;
  }
}

TEST(GameIdentifiers, FirstMatchingRowWins) {
  EXPECT_STREQ(FindGameMagic("TKIG"), "VIZ00");
  EXPECT_STREQ(FindGameMagic("IGTK"), "VIZ00");
  EXPECT_STREQ(FindGameMagic("xIGWx"), "VIZ00");  // "IGW" is tested before "IG"
}

TEST(GameIdentifiers, UnknownArgumentsSelectNothing) {
  for (const char* argument : {"xtky", "TestGame", "?", "", "t k", "igx"}) {
    EXPECT_EQ(FindGameMagic(argument), nullptr) << argument;
  }
}

}  // namespace
