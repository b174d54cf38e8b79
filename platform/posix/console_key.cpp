#include "platform/console_key.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>

#include "platform/terminal_keys.h"

namespace {

// Tenths of a second to wait for the next byte of a key's sequence.
constexpr int kSequenceGap = 1;

// Signals that end the program during a wait would leave the user's shell
// without echo: the mode goes back first.
constexpr int kEndingSignals[] = {SIGTERM, SIGHUP, SIGINT};

// The terminal and its mode before the wait, set only while a wait holds it
// raw: a signal handler can reach nothing else.
volatile sig_atomic_t rawTerminal = -1;
termios modeBeforeWait;

// Async-signal-safe calls only.
void RestoreModeThenEnd(int signal) {
  tcsetattr(rawTerminal, TCSANOW, &modeBeforeWait);
  struct sigaction byDefault {};
  byDefault.sa_handler = SIG_DFL;
  sigemptyset(&byDefault.sa_mask);
  sigaction(signal, &byDefault, nullptr);
  raise(signal);  // delivered as the handler returns, so the status names the signal
}

// The controlling terminal, in raw mode for as long as this object lives.
class RawTerminal {
 public:
  RawTerminal() {
    fd_ = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd_ < 0) return;
    if (tcgetattr(fd_, &saved_) != 0) {
      close(fd_);
      fd_ = -1;
      return;
    }
    termios raw = saved_;
    // No echo, no line buffering, and Ctrl+C arrives as a key, not a signal.
    raw.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO | ISIG | IEXTEN);
    raw.c_iflag &= ~static_cast<tcflag_t>(IXON | ICRNL | INLCR | IGNCR);
    raw.c_cc[VMIN] = 1;
    raw.c_cc[VTIME] = 0;
    modeBeforeWait = saved_;
    rawTerminal = fd_;
    struct sigaction handler {};
    handler.sa_handler = RestoreModeThenEnd;
    sigemptyset(&handler.sa_mask);
    for (std::size_t i = 0; i < kSignalCount; ++i) {
      // A signal the user chose to ignore (nohup) stays ignored.
      sigaction(kEndingSignals[i], nullptr, &previous_[i]);
      if (previous_[i].sa_handler != SIG_IGN) sigaction(kEndingSignals[i], &handler, nullptr);
    }
    // TCSANOW keeps keys typed ahead: each waits for its own screen.
    tcsetattr(fd_, TCSANOW, &raw);
  }
  ~RawTerminal() {
    if (fd_ < 0) return;
    tcsetattr(fd_, TCSANOW, &saved_);
    for (std::size_t i = 0; i < kSignalCount; ++i) {
      sigaction(kEndingSignals[i], &previous_[i], nullptr);
    }
    rawTerminal = -1;
    close(fd_);
  }
  RawTerminal(const RawTerminal&) = delete;
  RawTerminal& operator=(const RawTerminal&) = delete;

  bool ok() const { return fd_ >= 0; }

  // One byte; with a timeout (tenths of a second) returns -1 when none comes.
  int ReadByte(int timeoutTenths) {
    termios mode{};
    tcgetattr(fd_, &mode);
    mode.c_cc[VMIN] = timeoutTenths > 0 ? 0 : 1;
    mode.c_cc[VTIME] = static_cast<cc_t>(timeoutTenths);
    tcsetattr(fd_, TCSANOW, &mode);
    unsigned char byte = 0;
    for (;;) {
      ssize_t got = read(fd_, &byte, 1);
      if (got == 1) return byte;
      if (got < 0 && errno == EINTR) continue;
      return -1;
    }
  }

 private:
  static constexpr std::size_t kSignalCount = sizeof kEndingSignals / sizeof kEndingSignals[0];
  int fd_ = -1;
  termios saved_{};
  struct sigaction previous_[kSignalCount] = {};
};

}  // namespace

bool HasConsole() {
  int fd = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return false;
  close(fd);
  return true;
}

bool ConsoleOfItsOwn() {
  return false;  // a terminal outlives the process
}

ConsoleKey ReadConsoleKey() {
  RawTerminal terminal;
  if (!terminal.ok()) return {kEndOfInput, -1};
  for (;;) {
    int first = terminal.ReadByte(0);
    if (first < 0) return {kEndOfInput, -1};
    if (first != 0x1B) {
      // The rest of a UTF-8 character belongs to this key, not to the next wait.
      int more = first >= 0xF0 ? 3 : first >= 0xE0 ? 2 : first >= 0xC0 ? 1 : 0;
      while (more-- > 0 && terminal.ReadByte(kSequenceGap) >= 0) {
      }
      return {first, -1};
    }
    // A terminal sends a key's sequence at once; a lone Esc is followed by a pause.
    char sequence[16];
    std::size_t length = 0;
    while (!EscapeSequenceComplete(sequence, length)) {
      int next = terminal.ReadByte(kSequenceGap);
      if (next < 0) break;
      sequence[length++] = static_cast<char>(next);
    }
    TerminalInput input = DecodeEscapeSequence(sequence, length);
    switch (input.kind) {
      case TerminalInput::Kind::kCharacter:
        return {input.character, -1};
      case TerminalInput::Kind::kExtended: {
        KeyCodes codes = ExtendedKeyCodes(input.key, input.modifiers);
        return {codes.prefix, codes.second};
      }
      case TerminalInput::Kind::kIgnored:
        break;  // no key that ends the wait: read on
    }
  }
}
