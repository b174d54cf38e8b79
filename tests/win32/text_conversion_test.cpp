#include <gtest/gtest.h>

#include <string>

#include "stored_name_to_host.h"

namespace {

// File names stay code page 932 on Windows: the wide file calls convert them.
TEST(StoredNameConverter, KeepsTheStoredBytes) {
  EXPECT_EQ(ToHost("\x95\x5C\\\x83\x5C.TXT"), "\x95\x5C\\\x83\x5C.TXT");
  EXPECT_EQ(ToHost("A\x81"), "A\x81");
  EXPECT_EQ(ToHost(std::string(12, '\xB1'), 13), std::string(12, '\xB1'));
  EXPECT_EQ(ToHost(std::string(12, '\xB1'), 12), "<too long>");
}

}  // namespace
