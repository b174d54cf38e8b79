#include "wine_fixture.h"

#include <unistd.h>

#include <cstdlib>

const std::string kWine = MARROWGILDER_WINE;

std::string WindowsArgument(const std::string& linuxPath) {
  std::string path = "Z:" + linuxPath;
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

bool Have(const std::string& program) {
  return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

void WineTest::SetUp() {
  if (access(exe_.c_str(), R_OK) != 0 || access(kWine.c_str(), X_OK) != 0) {
    GTEST_SKIP() << "needs Wine and " << exe_ << " (make test-windows builds it)";
  }
  setenv("WINEDEBUG", "-all", 1);
  unsetenv("DISPLAY");
}

ToolRun WineTest::Run(std::vector<std::string> arguments, const std::string& input,
                      const RunOptions& options) {
  arguments.insert(arguments.begin(), exe_);
  return RunTool(kWine, arguments, input, options);
}
