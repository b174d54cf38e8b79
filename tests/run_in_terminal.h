// Runs a program in a pseudo-terminal of its own, as a user would in a
// terminal window: the terminal is its controlling terminal and, unless told
// otherwise, its standard input and output.
#pragma once

#include <sys/types.h>
#include <termios.h>

#include <string>
#include <vector>

class TerminalRun {
 public:
  // stdinPath, when given, replaces the terminal as standard input.
  TerminalRun(const std::string& program, const std::vector<std::string>& arguments,
              const std::string& stdinPath = "");
  ~TerminalRun();
  TerminalRun(const TerminalRun&) = delete;
  TerminalRun& operator=(const TerminalRun&) = delete;

  // Reads output until text has appeared count times; false after timeoutMs.
  bool WaitForOutput(const std::string& text, int count, int timeoutMs);
  // Waits until the program has put the terminal in raw mode to read a key:
  // keys typed before that would be taken by the line discipline.
  bool WaitForKeyWait(int timeoutMs);
  // Types bytes at the terminal's keyboard.
  void Send(const std::string& keys);
  // Sends the program a signal, as kill(1) would.
  void Signal(int signal);
  // True once the program has ended, reading its output meanwhile.
  bool Exited(int timeoutMs);
  int Occurrences(const std::string& text) const;

  const std::string& output() const { return output_; }
  int exitStatus() const { return exitStatus_; }      // -1 when ended by a signal
  int endingSignal() const { return endingSignal_; }  // 0 when it exited
  // The terminal's mode as the program leaves it.
  termios Mode() const;
  const termios& initialMode() const { return initialMode_; }

 private:
  void ReadAvailable(int timeoutMs);

  int master_ = -1;
  int slave_ = -1;
  pid_t child_ = -1;
  bool exited_ = false;
  int exitStatus_ = -1;
  int endingSignal_ = 0;
  std::string output_;
  termios initialMode_{};
};
