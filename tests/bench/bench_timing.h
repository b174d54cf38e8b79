// Timing a command for the benchmarks: wall time and peak resident memory,
// measured in a small process of its own, and medians of rounds; and the
// random bytes the sets are made of.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct Timing {
  double seconds;
  long peakKilobytes;
};

// A benchmark's main hands its arguments here first: "--launch STDIN COMMAND..."
// (or "--launch-any", where any exit status will do) is the launcher's own
// start. Returns the exit status, or -1 when it is not one.
int LaunchIfAsked(int argc, char** argv);

// Runs a command (stdin from a file, stdout discarded) through a fresh
// launcher process: a child of the benchmark itself would start with its
// resident pages. Exits the benchmark when the command fails: does not end
// normally, or, unless anyStatus, with a status other than 0 (verify's for
// findings is 1).
Timing Time(const std::vector<std::string>& command, const std::string& stdinPath = "/dev/null",
            bool anyStatus = false);

double Median(std::vector<double> values);

// The rounds of one command: their times, and the largest peak memory.
struct Measured {
  std::vector<double> times;
  long peakKilobytes = 0;
  void Add(const Timing& timing) {
    times.push_back(timing.seconds);
    if (timing.peakKilobytes > peakKilobytes) peakKilobytes = timing.peakKilobytes;
  }
};

// Bytes that no compressor or delta finds a pattern in.
std::string RandomBytes(std::size_t size, std::uint64_t seed);

// "met" or "MISSED".
const char* Verdict(bool met);

// Appends "task,program,seconds,relative,bytes" to the CSV file that
// BENCH_CSV names (make bench sets it; nothing without it), for make
// bench-chart. relative: the time over that of the peer users would
// otherwise pick; bytes: what the command made (a patch), where it counts.
void RecordMedian(const std::string& task, const std::string& program, double seconds,
                  double relative, double bytes = -1);
