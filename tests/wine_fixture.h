// A cross-built Windows program run under Wine from this side: what the two
// Windows test suites share.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "run_tool.h"
#include "test_archive.h"

// The loader for the build's programs: Debian's wine runs 32-bit ones only
// where it can, wine64 the 64-bit ones.
extern const std::string kWine;

// The Linux path as an argument names it to Wine: on its Z: drive, in UTF-8,
// which Wine hands to the program as UTF-16.
std::string WindowsArgument(const std::string& linuxPath);

// True when program is found on PATH.
bool Have(const std::string& program);

// Skipped unless Wine and the program are there. Wine stays quiet and has no
// display, so a message box returns at once.
class WineTest : public ::testing::Test {
 protected:
  explicit WineTest(std::string exe) : exe_(std::move(exe)) {}
  void SetUp() override;
  // The program under Wine with these arguments and this standard input.
  ToolRun Run(std::vector<std::string> arguments, const std::string& input,
              const RunOptions& options = {});
  ToolRun Run(std::vector<std::string> arguments, const RunOptions& options = {}) {
    return Run(std::move(arguments), "", options);
  }

  const std::string exe_;
  TempDir dir_;
};
