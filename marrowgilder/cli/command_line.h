// The program's top level: what to do is chosen by the number of arguments.
#pragma once

namespace marrowgilder::cli {

// What the process exits with; main turns it into the number.
enum class ExitStatus : int {
  kSuccess = 0,         // screens shown, nothing asked for, or every entry written whole
  kSomeNotWritten = 1,  // the run went through, but not every entry was written whole
  kStopped = 2,         // the run stopped at a report; nothing was extracted
};

// One argument shows screens; three extract an archive (game identifier,
// archive path, output directory). Anything else ends silently with success.
// lostCharacters has bit i set when argument i lost characters that the host
// could not hold.
ExitStatus RunCommandLine(int argc, char** argv, unsigned lostCharacters = 0);

// The archive magic of the first game identifier that argument matches, or
// nullptr when it matches none.
const char* FindGameMagic(const char* argument);

}  // namespace marrowgilder::cli
