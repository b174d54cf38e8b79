// A cross-built Windows program run under Wine from this side: what the two
// Windows test suites share.
#pragma once

#include <gtest/gtest.h>
#include <sys/types.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
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

// True once condition() is, asked every 50 ms; false after timeoutMs.
template <typename Condition>
bool Eventually(Condition condition, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!condition()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

// A process started in the background, killed if the test ends first.
class Background {
 public:
  explicit Background(const std::vector<std::string>& command);
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  // True once it has ended, within timeoutMs.
  bool Ended(int timeoutMs);
  int status() const { return status_; }

 private:
  pid_t pid_ = -1;
  bool ended_ = false;
  int status_ = -1;
};

// An X server for the test's windows (Xvfb), DISPLAY while it lives. Wine
// picks its display driver when its server starts: the server of the runs
// before, which had no display, is waited for first, and the one that served
// this display is ended last, so that the next runs have none again.
class XDisplay {
 public:
  explicit XDisplay(const std::string& geometry = "800x600x24");
  ~XDisplay();
  XDisplay(const XDisplay&) = delete;
  XDisplay& operator=(const XDisplay&) = delete;
  bool ready() const { return ready_; }

 private:
  std::unique_ptr<Background> server_;
  bool ready_ = false;
};
