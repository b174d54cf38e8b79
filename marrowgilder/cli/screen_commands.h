// The screen commands: one argument shows every screen it names.
#pragma once

#include "marrowgilder/cli/screens.h"

// Shows each screen whose command ("?", "c", "d", "r") the argument matches,
// in that order, each with its own key wait.
void RunScreenCommands(const char* argument);

// Writes the screen, waits for a key, then scrolls it away with 24 newlines.
void ShowScreen(const Screen& screen);
