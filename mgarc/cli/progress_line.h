// The one-line progress display of a long run on a terminal.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

#include "mgarc/engine/observer.h"

namespace mgarc::cli {

// "1234/5000 entries  12.3/45.6 MiB  7.8 MiB/s", from the counts and the
// seconds since the start.
std::string ProgressText(std::uint64_t entriesDone, std::uint64_t entries, std::uint64_t bytesDone,
                         std::uint64_t bytes, double seconds);

// "3000 files, 494.7 MiB in 0.74 s": what a run did, left when it ends.
std::string TotalsText(std::uint64_t files, std::uint64_t bytes, double seconds);

// Draws the line on standard error, at most ten times a second; shown false
// (not a terminal, or -q) draws nothing.
class ProgressDisplay {
 public:
  explicit ProgressDisplay(bool shown);
  void Draw(const engine::Progress& progress);
  // Takes the line away, before other output and at the end.
  void Clear();
  bool shown() const { return shown_; }
  double Seconds() const;

 private:
  const bool shown_;
  const std::chrono::steady_clock::time_point start_;
  std::chrono::steady_clock::time_point lastDraw_;
  bool drawn_ = false;
};

}  // namespace mgarc::cli
