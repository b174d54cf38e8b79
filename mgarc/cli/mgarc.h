// mgarc's command line: the arguments (UTF-8, program name first) in, the
// exit status out. Nothing escapes as an exception.
#pragma once

#include <string>
#include <vector>

#include "mgarc/cli/exit_status.h"

namespace mgarc::cli {

ExitStatus RunMgarc(const std::vector<std::string>& arguments);

// At the end of the process: standard output flushed and closed; when some of
// it was lost, "mgarc: write error: REASON" and status 2, else status.
int FinishOutput(ExitStatus status);

}  // namespace mgarc::cli
