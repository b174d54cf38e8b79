#include "wine_fixture.h"

#include <signal.h>
#include <sys/wait.h>
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

Background::Background(const std::vector<std::string>& command) {
  pid_ = fork();
  if (pid_ == 0) {
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
}

Background::~Background() {
  if (!ended_) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
}

bool Background::Ended(int timeoutMs) {
  return Eventually(
      [&] {
        int status = 0;
        if (!ended_ && waitpid(pid_, &status, WNOHANG) == pid_) {
          ended_ = true;
          status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        }
        return ended_;
      },
      timeoutMs);
}

XDisplay::XDisplay(const std::string& geometry) {
  const std::string name = ":" + std::to_string(90 + getpid() % 9);
  server_ = std::make_unique<Background>(
      std::vector<std::string>{"Xvfb", name, "-screen", "0", geometry, "-nolisten", "tcp"});
  setenv("DISPLAY", name.c_str(), 1);
  ready_ = Eventually([] { return std::system("xdotool getdisplaygeometry >/dev/null 2>&1") == 0; },
                      20000);
  std::system("wineserver -w");
}

XDisplay::~XDisplay() {
  std::system("wineserver -k");
  unsetenv("DISPLAY");
}
