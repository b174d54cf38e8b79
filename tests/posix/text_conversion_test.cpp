#include <gtest/gtest.h>

#include <string>

#include "stored_name_to_host.h"

namespace {

TEST(StoredNameConverter, UsesMicrosoftsTable) {
  EXPECT_EQ(ToHost("\x81\x60"), "\xEF\xBD\x9E");  // U+FF5E, not the wave dash U+301C
  EXPECT_EQ(ToHost("\x81\x5C"), "\xE2\x80\x95");  // U+2015
  EXPECT_EQ(ToHost("\x5C"), "\\");                // a lone 0x5C stays a backslash
  EXPECT_EQ(ToHost("\x95\x5C\x8E\xA6"), "表示");
  EXPECT_EQ(ToHost("\x83\x5C.TXT"), "ソ.TXT");
  EXPECT_EQ(ToHost("\xB1\xB2"), "ｱｲ");  // half-width katakana are single bytes
  EXPECT_EQ(ToHost("SE/A.WAV"), "SE/A.WAV");
}

TEST(StoredNameConverter, UndecodableNamesAreKeptAsStored) {
  EXPECT_EQ(ToHost("A\x81"), "A\x81");          // a lead byte without its second byte
  EXPECT_EQ(ToHost("\x85\x40X"), "\x85\x40X");  // an unassigned code
}

TEST(StoredNameConverter, OneConverterServesManyNames) {
  // A name that fails to decode must leave nothing behind for the next one.
  StoredNameConverter converter;
  char out[64];
  ASSERT_TRUE(converter.ToHost("A\x81", out, sizeof out));
  EXPECT_STREQ(out, "A\x81");
  ASSERT_TRUE(converter.ToHost("\x95\x5C", out, sizeof out));
  EXPECT_STREQ(out, "表");
  ASSERT_FALSE(converter.ToHost(std::string(12, '\xB1').c_str(), out, 20));
  ASSERT_TRUE(converter.ToHost("\x83\x5C", out, sizeof out));
  EXPECT_STREQ(out, "ソ");
}

TEST(StoredNameConverter, RefusesWhatDoesNotFit) {
  // Twelve half-width katakana take 36 bytes in UTF-8.
  EXPECT_EQ(ToHost(std::string(12, '\xB1'), 37).size(), 36u);
  EXPECT_EQ(ToHost(std::string(12, '\xB1'), 36), "<too long>");
}

}  // namespace
