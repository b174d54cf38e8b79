// The screen commands: one argument shows every screen it names.
#pragma once

#include "marrowgilder/cli/command_line.h"
#include "marrowgilder/cli/screens.h"

namespace marrowgilder::cli {

// Shows each screen whose command ("?", "c", "d", "r") the argument matches,
// in that order, each with its own key wait. Always succeeds.
ExitStatus RunScreenCommands(const char* argument);

// Writes the screen, waits for a key, then scrolls it away with 24 newlines.
void ShowScreen(const Screen& screen);

}  // namespace marrowgilder::cli
