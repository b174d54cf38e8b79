// The program's top level: what to do is chosen by the number of arguments.
#pragma once

// One argument shows screens; three extract an archive (game identifier,
// archive path, output directory). Anything else ends silently with 0.
// lostCharacters has bit i set when argument i lost characters that the host
// could not hold. Returns the process exit status.
int RunCommandLine(int argc, char** argv, unsigned lostCharacters = 0);

// The archive magic of the first game identifier that argument matches, or
// nullptr when it matches none.
const char* FindGameMagic(const char* argument);
