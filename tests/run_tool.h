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

ToolRun RunTool(const std::string& program, const std::vector<std::string>& arguments,
                const std::string& input, const std::string& workingDirectory = "");
