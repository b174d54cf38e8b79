// The key waits of the screens and of a report, in a real pseudo-terminal.
#include <gtest/gtest.h>
#include <termios.h>

#include <csignal>
#include <string>

#include "run_in_terminal.h"
#include "test_archive.h"

namespace {

const std::string kPrompt = "どれかキーを押してください";
constexpr int kSoon = 5000;  // ms to allow for what must happen
constexpr int kPause = 400;  // ms in which nothing may happen

TEST(KeyWait, EachScreenWaitsForItsOwnKey) {
  TerminalRun run(MARROWGILDER_BINARY, {"credits"});
  for (int screen = 1; screen <= 3; ++screen) {
    ASSERT_TRUE(run.WaitForOutput(kPrompt, screen, kSoon)) << run.output();
    EXPECT_FALSE(run.Exited(kPause)) << "screen " << screen << " did not wait";
    EXPECT_EQ(run.Occurrences(kPrompt), screen);
    ASSERT_TRUE(run.WaitForKeyWait(kSoon));
    run.Send("x");
  }
  ASSERT_TRUE(run.Exited(kSoon));
  EXPECT_EQ(run.exitStatus(), 0);
  // The last screen is scrolled away after its key.
  std::string scrollAway;
  for (int i = 0; i < 24; ++i) scrollAway += "\r\n";  // the terminal turns each \n into \r\n
  ASSERT_GE(run.output().size(), scrollAway.size());
  EXPECT_EQ(run.output().substr(run.output().size() - scrollAway.size()), scrollAway);
}

TEST(KeyWait, CursorKeysPendingCodeLetsTheNextScreenPass) {
  TerminalRun run(MARROWGILDER_BINARY, {"cd"});
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 1, kSoon));
  EXPECT_FALSE(run.Exited(kPause));
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send("\x1b[A");  // Up: a prefix now, its second code at the next wait
  ASSERT_TRUE(run.Exited(kSoon)) << "the second screen waited";
  EXPECT_EQ(run.Occurrences(kPrompt), 2);
  EXPECT_EQ(run.exitStatus(), 0);
}

TEST(KeyWait, FunctionKeyWithModifierCountsAsOneKey) {
  TerminalRun run(MARROWGILDER_BINARY, {"?cr"});
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 1, kSoon));
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send("\x1b[15;5~");  // Ctrl+F5: ends this wait and the next
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 3, kSoon));
  EXPECT_FALSE(run.Exited(kPause)) << "the third screen did not wait";
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send("\r");
  ASSERT_TRUE(run.Exited(kSoon));
}

TEST(KeyWait, LoneEscIsOneKeyWithNothingPending) {
  TerminalRun run(MARROWGILDER_BINARY, {"cd"});
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 1, kSoon));
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send("\x1b");
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 2, kSoon));
  EXPECT_FALSE(run.Exited(kPause)) << "the second screen did not wait";
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send("q");
  ASSERT_TRUE(run.Exited(kSoon));
}

TEST(KeyWait, CtrlCIsAKeyNotAnInterrupt) {
  TerminalRun run(MARROWGILDER_BINARY, {"cd"});
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 1, kSoon));
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send("\x03");
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 2, kSoon));
  EXPECT_FALSE(run.Exited(kPause));
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send("\x03");
  ASSERT_TRUE(run.Exited(kSoon));
  EXPECT_EQ(run.exitStatus(), 0);  // ended normally, not by SIGINT
}

TEST(KeyWait, RedirectedStandardInputStillWaitsAtTheTerminal) {
  TempDir dir;
  WriteFile(dir / "keys.txt", "abc\n");
  TerminalRun run(MARROWGILDER_BINARY, {"r"}, dir / "keys.txt");
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 1, kSoon));
  EXPECT_FALSE(run.Exited(kPause));
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send(" ");
  ASSERT_TRUE(run.Exited(kSoon));
}

void ExpectModeAsBefore(const TerminalRun& run, const std::string& what) {
  termios after = run.Mode();
  const termios& before = run.initialMode();
  EXPECT_EQ(after.c_lflag, before.c_lflag) << what;
  EXPECT_EQ(after.c_iflag, before.c_iflag) << what;
  EXPECT_EQ(after.c_oflag, before.c_oflag) << what;
  EXPECT_EQ(after.c_cc[VMIN], before.c_cc[VMIN]) << what;
  EXPECT_EQ(after.c_cc[VTIME], before.c_cc[VTIME]) << what;
}

TEST(KeyWait, TerminalModeIsRestored) {
  TerminalRun run(MARROWGILDER_BINARY, {"cd"});
  ASSERT_TRUE(run.WaitForOutput(kPrompt, 1, kSoon));
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  termios during = run.Mode();
  EXPECT_EQ(during.c_lflag & (ICANON | ECHO | ISIG), 0u) << "not raw while waiting";
  run.Send("\x1b[B");
  ASSERT_TRUE(run.Exited(kSoon));
  ExpectModeAsBefore(run, "after the keys");
}

TEST(KeyWait, SignalThatEndsTheWaitRestoresTheModeAndStillEndsTheProgram) {
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    TerminalRun run(MARROWGILDER_BINARY, {"cd"});
    ASSERT_TRUE(run.WaitForOutput(kPrompt, 1, kSoon));
    ASSERT_TRUE(run.WaitForKeyWait(kSoon));
    run.Signal(signal);
    ASSERT_TRUE(run.Exited(kSoon)) << strsignal(signal);
    EXPECT_EQ(run.endingSignal(), signal) << strsignal(signal);
    ExpectModeAsBefore(run, strsignal(signal));
  }
}

TEST(KeyWait, ReportWaitsForItsDismissal) {
  TempDir dir;
  TerminalRun run(MARROWGILDER_BINARY, {"TK", dir / "missing.dat", dir / "out"});
  ASSERT_TRUE(run.WaitForOutput("Error!: File Not Found!", 1, kSoon)) << run.output();
  EXPECT_FALSE(run.Exited(kPause)) << "the report did not wait";
  ASSERT_TRUE(run.WaitForKeyWait(kSoon));
  run.Send("\r");
  ASSERT_TRUE(run.Exited(kSoon));
  EXPECT_EQ(run.exitStatus(), 2);
}

}  // namespace
