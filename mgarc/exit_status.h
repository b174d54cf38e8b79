// mgarc's exit statuses, the same for every command.
#pragma once

enum ExitStatus : int {
  kExitDone = 0,        // everything done; for diff: the two archives are identical
  kExitIncomplete = 1,  // done, but not all of it: findings, entries not written, differences
  kExitStopped = 2,     // nothing done: a usage error, an archive that cannot be read, a refusal
};
