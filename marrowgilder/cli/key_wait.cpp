#include "marrowgilder/cli/key_wait.h"

#include "platform/console_key.h"

namespace marrowgilder::cli {

namespace {

// The second code of a two-code key, kept for the next call. The only state
// the program keeps between calls.
int pendingCode = -1;

}  // namespace

int WaitForKey() {
  if (pendingCode >= 0) {
    int code = pendingCode;
    pendingCode = -1;
    return code;
  }
  ConsoleKey key = ReadConsoleKey();
  pendingCode = key.second;
  return key.code;
}

}  // namespace marrowgilder::cli
