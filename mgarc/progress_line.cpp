#include "mgarc/progress_line.h"

#include <cstdio>

std::string ProgressText(std::uint64_t entriesDone, std::uint64_t entries, std::uint64_t bytesDone,
                         std::uint64_t bytes, double seconds) {
  constexpr double kMiB = 1024.0 * 1024.0;
  double rate = seconds > 0 ? static_cast<double>(bytesDone) / kMiB / seconds : 0.0;
  char text[128];
  std::snprintf(text, sizeof text, "%llu/%llu entries  %.1f/%.1f MiB  %.1f MiB/s",
                static_cast<unsigned long long>(entriesDone),
                static_cast<unsigned long long>(entries), static_cast<double>(bytesDone) / kMiB,
                static_cast<double>(bytes) / kMiB, rate);
  return text;
}
