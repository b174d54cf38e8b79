// Runs a program as a user would from a script: in a session of its own with
// no controlling terminal, standard input from a string, output captured.
#pragma once

#include <string>
#include <vector>

struct ToolRun {
  int exitStatus = -1;  // -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// In a forked child: replaces it with the program, in a UTF-8 locale.
[[noreturn]] void ExecTool(const std::string& program, const std::vector<std::string>& arguments);

struct RunOptions {
  std::string workingDirectory;  // empty: the test's own
  long long fileSizeLimit = -1;  // RLIMIT_FSIZE with SIGXFSZ ignored: writes past it fail
  bool killedAtLimit = false;    // with fileSizeLimit: SIGXFSZ kills it mid-write instead
  bool unprivileged = false;     // as root, run as nobody, so that permissions hold
  std::vector<int> closed;       // standard descriptors the program starts without
  std::string outputFile;        // standard output goes to this file instead (/dev/full)
};

// Options that only set the working directory.
inline RunOptions InDirectory(const std::string& directory) {
  RunOptions options;
  options.workingDirectory = directory;
  return options;
}

ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& input, const RunOptions& options = {});

// The user id the tool runs under with RunOptions::unprivileged.
unsigned UnprivilegedUser();

// Standard output of a shell command, or "" when it cannot start.
std::string Capture(const std::string& command);

// Takes mgarc's closing line of totals ("5 files, 0.3 MiB in 0.01 s") off the
// end of err and gives it without its time ("5 files, 0.3 MiB"); "" when err
// ends with no such line.
std::string TakeTotals(std::string& err);
