// Times the tool against GNU tar on the same files, and against cp of the
// archive (the bytes moved once), on a tmpfs so that the disk is not measured:
//   set a: 1 GiB in 64 entries of 16 MiB;  set b: 5000 entries of 4 KiB in 50 directories.
// Runs alternate, several rounds; prints medians, ratios and the tool's peak
// resident memory.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "test_archive.h"

namespace fs = std::filesystem;

namespace {

struct Timing {
  double seconds;
  long peakKilobytes;
};

// Runs a command with stdin from a file and stdout discarded; exits on failure.
Timing Time(const std::vector<std::string>& command, const std::string& stdinPath = "/dev/null") {
  auto begin = std::chrono::steady_clock::now();
  pid_t child = fork();
  if (child == 0) {
    if (!freopen(stdinPath.c_str(), "r", stdin) || !freopen("/dev/null", "w", stdout)) _exit(126);
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "failed: %s\n", command[0].c_str());
    std::exit(1);
  }
  return {seconds, usage.ru_maxrss};
}

// Writes an archive of the given entries, each entry's bytes from one pattern.
void WriteArchive(const std::string& path, const std::vector<TestEntry>& names,
                  std::size_t entrySize) {
  const std::string pattern = PatternBytes(entrySize, 5);
  std::ofstream out(path, std::ios::binary);
  const std::uint64_t directory = 16 + names.size() * entrySize;
  std::string header("VIZ00\0\0\0", 8);
  for (int i = 0; i < 2; ++i) header.push_back(static_cast<char>(names.size() >> (8 * i)));
  for (int i = 0; i < 4; ++i) header.push_back(static_cast<char>(directory >> (8 * i)));
  header.append(2, '\0');
  out << header;
  for (std::size_t i = 0; i < names.size(); ++i) out << pattern;
  for (const TestEntry& entry : names) {
    std::string record = entry.name;
    record.resize(12, '\0');
    for (int i = 0; i < 4; ++i) record.push_back(static_cast<char>(entrySize >> (8 * i)));
    out << record;
  }
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

struct Set {
  std::string name;
  std::string archive;
  std::string tar;
  std::vector<double> tool, tarTimes, cp;
  long peakKilobytes = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_extraction MARROWGILDER [ROUNDS]\n");
    return 2;
  }
  const std::string tool = fs::absolute(argv[1]).string();
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  const fs::path work = base / ("marrowgilder-bench-" + std::to_string(getpid()));
  fs::create_directories(work);
  const std::string reply = (work / "reply.txt").string();
  WriteFile(reply, "1\n");

  std::vector<TestEntry> bigNames, smallNames;
  for (int i = 0; i < 64; ++i) bigNames.push_back({"BIG" + std::to_string(i) + ".BIN", ""});
  for (int i = 0; i < 5000; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "D%02d\\F%04d", i / 100, i);
    smallNames.push_back({name, ""});
  }
  Set sets[2];
  sets[0].name = "a: 64 x 16 MiB";
  sets[1].name = "b: 5000 x 4 KiB";
  WriteArchive((work / "a.dat").string(), bigNames, 16u << 20);
  WriteArchive((work / "b.dat").string(), smallNames, 4096);
  for (int s = 0; s < 2; ++s) {
    Set& set = sets[s];
    set.archive = (work / (s == 0 ? "a.dat" : "b.dat")).string();
    set.tar = (work / (s == 0 ? "a.tar" : "b.tar")).string();
    // The same files as a tar archive: the tool's own extraction, packed.
    const std::string tree = (work / "tree").string();
    Time({tool, "TK", set.archive, tree}, reply);
    Time({"tar", "-cf", set.tar, "-C", tree, "."});
    fs::remove_all(tree);
  }

  const std::string out = (work / "out").string();
  const std::string copy = (work / "copy.dat").string();
  // Each timed run starts from a clean, settled file system; the order of the
  // three turns round about, so that none always follows the others' clean-up.
  auto settle = [&] {
    fs::remove_all(out);
    fs::remove(copy);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  };
  for (int round = 0; round < rounds; ++round) {
    for (Set& set : sets) {
      // The small set runs in a fraction of the time: more runs steady its median.
      const int repeats = &set == &sets[0] ? 1 : 5;
      for (int turn = 0; turn < 3 * repeats; ++turn) {
        switch ((turn + round) % 3) {
          case 0: {
            settle();
            Timing run = Time({tool, "TK", set.archive, out}, reply);
            set.tool.push_back(run.seconds);
            set.peakKilobytes = std::max(set.peakKilobytes, run.peakKilobytes);
            break;
          }
          case 1:
            settle();
            fs::create_directories(out);
            set.tarTimes.push_back(Time({"tar", "-xf", set.tar, "-C", out}).seconds);
            break;
          default:
            settle();
            set.cp.push_back(Time({"cp", set.archive, copy}).seconds);
            break;
        }
      }
    }
  }
  settle();
  fs::remove_all(work);

  std::printf("%d rounds on %s, medians in seconds\n\n", rounds, base.c_str());
  std::printf("| set | tool | tar | cp | tool/tar | tool/cp | tool peak RSS |\n");
  std::printf("|---|---|---|---|---|---|---|\n");
  for (const Set& set : sets) {
    double toolTime = Median(set.tool), tar = Median(set.tarTimes), cp = Median(set.cp);
    std::printf("| %s | %.3f | %.3f | %.3f | %.2f | %.2f | %.1f MiB |\n", set.name.c_str(),
                toolTime, tar, cp, toolTime / tar, toolTime / cp,
                static_cast<double>(set.peakKilobytes) / 1024.0);
  }
  std::printf(
      "\ntargets: tool/tar <= 1.00 on both sets, tool/cp <= 1.15 on set a, peak RSS <= 4 MiB\n");
  return 0;
}
