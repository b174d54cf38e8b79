// Reading the answer to "at which entry to begin": the number a line of
// input starts with, read one character at a time so any length is fine.

#include "marrowgilder/engine/start_reply.h"

#include "platform/console.h"

namespace marrowgilder::engine {

namespace {

constexpr std::int64_t kCeiling = 1000000000;

bool IsLeadingSpace(char c) {
  return c == ' ' || c == '\t' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

void FeedReply(ReplyNumber& reply, char c) {
  using Stage = ReplyNumber::Stage;
  bool digit = c >= '0' && c <= '9';
  switch (reply.stage) {
    case Stage::kLeadingSpace:
      if (IsLeadingSpace(c)) return;
      if (c == '+' || c == '-') {
        reply.negative = c == '-';
        reply.stage = Stage::kSign;
        return;
      }
      [[fallthrough]];
    case Stage::kSign:
    case Stage::kDigits:
      if (!digit) {
        reply.stage = Stage::kDone;
        return;
      }
      reply.stage = Stage::kDigits;
      reply.magnitude = reply.magnitude * 10 + (c - '0');
      if (reply.magnitude > kCeiling) reply.magnitude = kCeiling;
      return;
    case Stage::kDone:
      return;
  }
}

std::int64_t ReplyValue(const ReplyNumber& reply) {
  return reply.negative ? -reply.magnitude : reply.magnitude;
}

std::int64_t ReadStartReply() {
  ReplyNumber reply;
  for (int c = ReadInputChar(); c != -1 && c != '\n'; c = ReadInputChar()) {
    FeedReply(reply, static_cast<char>(c));
  }
  return ReplyValue(reply);
}

}  // namespace marrowgilder::engine
