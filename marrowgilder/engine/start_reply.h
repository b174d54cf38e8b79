// The user's answer to "at which entry to begin": one line of input.
#pragma once

#include <cstdint>

namespace marrowgilder::engine {

// Reads the number a line begins with, fed one character at a time so that a
// line of any length is consumed without being stored: leading white space,
// an optional sign, then decimal digits up to the first other character.
struct ReplyNumber {
  enum class Stage { kLeadingSpace, kSign, kDigits, kDone };
  Stage stage = Stage::kLeadingSpace;
  bool negative = false;
  std::int64_t magnitude = 0;  // held at a ceiling far above any entry number
};

void FeedReply(ReplyNumber& reply, char c);
// The number read so far; 0 when no digit came.
std::int64_t ReplyValue(const ReplyNumber& reply);

// Reads one line from standard input (the line break ends it; so does the end
// of input) and returns the number it begins with.
std::int64_t ReadStartReply();

}  // namespace marrowgilder::engine
