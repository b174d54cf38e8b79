// The four screens, and one row as a console is given it: for the screen tests of both hosts.
#pragma once

#include <string>

#include "marrowgilder/cli/screens.h"

inline const marrowgilder::cli::Screen* const kAllScreens[] = {
    &marrowgilder::cli::HelpScreen, &marrowgilder::cli::CommandListScreen,
    &marrowgilder::cli::VersionScreen, &marrowgilder::cli::IdentifierScreen};

inline std::string Formatted(const char* row, marrowgilder::cli::ConsoleKind console) {
  char out[marrowgilder::cli::kScreenRowBufferSize];
  marrowgilder::cli::FormatScreenRow(row, console, out, sizeof out);
  return out;
}
