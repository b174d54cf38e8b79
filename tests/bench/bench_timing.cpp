#include "bench_timing.h"

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

// The launcher: runs one command and prints its time and peak resident memory.
int Launch(char** argv, bool anyStatus) {
  const char* stdinPath = argv[0];
  auto begin = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    if (!freopen(stdinPath, "r", stdin) || !freopen("/dev/null", "w", stdout)) _exit(126);
    execvp(argv[1], argv + 1);
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) != child) return 1;
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  if (!WIFEXITED(status) || (WEXITSTATUS(status) != 0 && !anyStatus)) return 1;
  std::printf("%.6f %ld\n", seconds, usage.ru_maxrss);
  return 0;
}

}  // namespace

int LaunchIfAsked(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--launch") == 0) return Launch(argv + 2, false);
  if (argc > 1 && std::strcmp(argv[1], "--launch-any") == 0) return Launch(argv + 2, true);
  return -1;
}

Timing Time(const std::vector<std::string>& command, const std::string& stdinPath, bool anyStatus) {
  int result[2];
  if (pipe(result) != 0) std::exit(1);
  pid_t launcher = fork();
  if (launcher == 0) {
    dup2(result[1], STDOUT_FILENO);
    close(result[0]);
    close(result[1]);
    std::vector<std::string> parts = {anyStatus ? "--launch-any" : "--launch", stdinPath};
    parts.insert(parts.end(), command.begin(), command.end());
    std::vector<char*> argv = {const_cast<char*>("bench")};
    for (std::string& part : parts) argv.push_back(part.data());
    argv.push_back(nullptr);
    execv("/proc/self/exe", argv.data());
    _exit(127);
  }
  close(result[1]);
  char line[64] = {};
  ssize_t got = read(result[0], line, sizeof line - 1);
  close(result[0]);
  int status = 0;
  waitpid(launcher, &status, 0);
  Timing timing{};
  if (got <= 0 || !WIFEXITED(status) || WEXITSTATUS(status) != 0 ||
      std::sscanf(line, "%lf %ld", &timing.seconds, &timing.peakKilobytes) != 2) {
    std::fprintf(stderr, "failed: %s\n", command[0].c_str());
    std::exit(1);
  }
  return timing;
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

const char* Verdict(bool met) {
  return met ? "met" : "MISSED";
}

void RecordMedian(const std::string& task, const std::string& program, double seconds,
                  double relative, double bytes) {
  const char* csv = std::getenv("BENCH_CSV");
  if (csv == nullptr || *csv == '\0') return;
  if (FILE* out = std::fopen(csv, "a")) {
    std::fprintf(out, "%s,%s,%.6f,%.4f,", task.c_str(), program.c_str(), seconds, relative);
    if (bytes >= 0) std::fprintf(out, "%.0f", bytes);
    std::fputc('\n', out);
    std::fclose(out);
  }
}

std::string RandomBytes(std::size_t size, std::uint64_t seed) {
  std::string bytes(size, '\0');
  std::uint64_t state = seed * 0x9E3779B97F4A7C15ull + 1;
  for (std::size_t i = 0; i + 8 <= size; i += 8) {
    state ^= state << 13;
    state ^= state >> 7;
    state ^= state << 17;
    for (int k = 0; k < 8; ++k) bytes[i + k] = static_cast<char>(state >> (8 * k));
  }
  return bytes;
}
