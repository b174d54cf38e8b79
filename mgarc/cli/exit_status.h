// mgarc's exit statuses, the same for every command.
#pragma once

namespace mgarc::cli {

enum class ExitStatus : int {
  kDone = 0,        // everything done; for diff: the two archives are identical
  kIncomplete = 1,  // done, but not all of it: findings, entries not written, differences
  kStopped = 2,     // nothing done, or stopped: a usage error, an archive that cannot be read,
                    // a refusal, an interrupt
};

}  // namespace mgarc::cli
