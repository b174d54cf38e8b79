#include "run_in_terminal.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdlib>

#include "run_tool.h"

TerminalRun::TerminalRun(const std::string& program, const std::vector<std::string>& arguments,
                         const std::string& stdinPath) {
  winsize size{};
  size.ws_row = 24;
  size.ws_col = 80;
  if (openpty(&master_, &slave_, nullptr, nullptr, &size) != 0) return;
  tcgetattr(slave_, &initialMode_);
  child_ = fork();
  if (child_ == 0) {
    setsid();
    ioctl(slave_, TIOCSCTTY, 0);
    dup2(slave_, 0);
    dup2(slave_, 1);
    dup2(slave_, 2);
    if (!stdinPath.empty()) {
      int in = open(stdinPath.c_str(), O_RDONLY);
      dup2(in, 0);
      close(in);
    }
    close(master_);
    close(slave_);
    ExecTool(program, arguments);
  }
}

TerminalRun::~TerminalRun() {
  if (child_ > 0 && !exited_) {
    kill(child_, SIGKILL);
    waitpid(child_, nullptr, 0);
  }
  if (master_ >= 0) close(master_);
  if (slave_ >= 0) close(slave_);
}

void TerminalRun::ReadAvailable(int timeoutMs) {
  pollfd fd{master_, POLLIN, 0};
  if (poll(&fd, 1, timeoutMs) <= 0) return;
  char buffer[4096];
  ssize_t got = read(master_, buffer, sizeof buffer);
  if (got > 0) output_.append(buffer, static_cast<std::size_t>(got));
}

int TerminalRun::Occurrences(const std::string& text) const {
  int count = 0;
  for (std::size_t at = output_.find(text); at != std::string::npos;
       at = output_.find(text, at + text.size())) {
    ++count;
  }
  return count;
}

bool TerminalRun::WaitForOutput(const std::string& text, int count, int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (Occurrences(text) < count) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ReadAvailable(20);
  }
  return true;
}

bool TerminalRun::WaitForKeyWait(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while ((Mode().c_lflag & ICANON) != 0) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    ReadAvailable(5);
  }
  return true;
}

void TerminalRun::Signal(int signal) {
  kill(child_, signal);
}

void TerminalRun::Send(const std::string& keys) {
  ssize_t put = write(master_, keys.data(), keys.size());
  (void)put;
}

bool TerminalRun::Exited(int timeoutMs) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!exited_) {
    int status = 0;
    if (waitpid(child_, &status, WNOHANG) == child_) {
      exited_ = true;
      exitStatus_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      endingSignal_ = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      break;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    ReadAvailable(20);
  }
  ReadAvailable(0);
  return true;
}

termios TerminalRun::Mode() const {
  termios mode{};
  tcgetattr(slave_, &mode);
  return mode;
}
