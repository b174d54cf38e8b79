#include <gtest/gtest.h>

#include <string>

#include "platform/text_conversion.h"

namespace {

TEST(NameCodec, RoundTripsCodePage932) {
  NameCodec codec;
  std::string text;
  ASSERT_TRUE(codec.Decode("\x95\x5C\\\x83\x5C.TXT", text));
  EXPECT_EQ(text, "表\\ソ.TXT");
  std::string stored;
  ASSERT_TRUE(codec.Encode(text, stored));
  EXPECT_EQ(stored, "\x95\x5C\\\x83\x5C.TXT");
  ASSERT_TRUE(codec.Decode("", text));
  EXPECT_EQ(text, "");
}

TEST(NameCodec, RefusesWhatHasNoForm) {
  NameCodec codec;
  std::string out;
  EXPECT_FALSE(codec.Decode("B\x85\x40", out));  // an unassigned code
  EXPECT_FALSE(codec.Decode("A\x81", out));      // a lead byte without its second byte
  EXPECT_FALSE(codec.Encode("😀.TXT", out));
  EXPECT_FALSE(codec.Encode("caf\xC3\xA9", out));  // é, which a best fit would make 'e'
  EXPECT_FALSE(codec.Encode("\xFF", out));         // not UTF-8
}

}  // namespace
