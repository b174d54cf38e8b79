#include "marrowgilder/engine/start_reply.h"

#include <gtest/gtest.h>

#include <string>

using marrowgilder::engine::FeedReply;
using marrowgilder::engine::ReplyNumber;
using marrowgilder::engine::ReplyValue;

namespace {

std::int64_t Parse(const std::string& line) {
  ReplyNumber reply;
  for (char c : line) FeedReply(reply, c);
  return ReplyValue(reply);
}

TEST(StartReply, LeadingNumberOfTheLine) {
  EXPECT_EQ(Parse("3"), 3);
  EXPECT_EQ(Parse(" 3a"), 3);
  EXPECT_EQ(Parse("\t 12 and more"), 12);
  EXPECT_EQ(Parse("+7"), 7);
  EXPECT_EQ(Parse("0042"), 42);
  EXPECT_EQ(Parse("5\r"), 5);  // a line ended by CR LF
}

TEST(StartReply, NoDigitsMeansZero) {
  EXPECT_EQ(Parse(""), 0);
  EXPECT_EQ(Parse("abc"), 0);
  EXPECT_EQ(Parse("+"), 0);
  EXPECT_EQ(Parse("- 3"), 0);
  EXPECT_EQ(Parse("a3"), 0);
}

TEST(StartReply, NegativeNumbersStayNegative) {
  EXPECT_EQ(Parse("-1"), -1);
  EXPECT_EQ(Parse("  -250x"), -250);
}

TEST(StartReply, LongLinesAreReadWholeWithoutOverflow) {
  // Far more than the 7 characters a reply buffer would hold.
  EXPECT_EQ(Parse(std::string(100, ' ') + "12"), 12);
  EXPECT_GT(Parse(std::string(40, '9')), 65535);
  EXPECT_LT(Parse("-" + std::string(40, '9')), 0);
  EXPECT_EQ(Parse("2" + std::string(10000, 'x') + "5"), 2);
}

}  // namespace
