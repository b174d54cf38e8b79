#include "platform/case_folding.h"

#include <gtest/gtest.h>

namespace {

// Run on both hosts: glibc's mapping and Windows' file system's agree on the
// letters of code page 932.
TEST(UppercaseText, LettersThatHaveCaseAndNothingElse) {
  EXPECT_EQ(UppercaseText("a.txt Ａａ Σσ Аа Ёё ⅰⅹ"), "A.TXT ＡＡ ΣΣ АА ЁЁ ⅠⅩ");
  EXPECT_EQ(UppercaseText("アァ 表 1_"), "アァ 表 1_");
  EXPECT_EQ(UppercaseText(""), "");
  EXPECT_EQ(UppercaseText("a\xFF\xCF\x83"), "a\xFF\xCF\x83");  // not UTF-8: kept
}

}  // namespace
