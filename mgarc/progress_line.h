// The one-line progress display of a long extraction on a terminal.
#pragma once

#include <cstdint>
#include <string>

// "  1234/5000 entries  12.3/45.6 MiB  7.8 MiB/s", from the counts and the
// seconds since the start.
std::string ProgressText(std::uint64_t entriesDone, std::uint64_t entries, std::uint64_t bytesDone,
                         std::uint64_t bytes, double seconds);
