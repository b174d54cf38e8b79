// Times reading every file through `mgarc mount`, mount time included,
// against cp of the archive (set a), against reading the same files extracted
// on the tmpfs (set b), and against archivemount serving them from a tar:
//   set a: 1 GiB in 64 entries of 16 MiB;  set b: 5000 entries of 4 KiB in 50 directories.
// Runs alternate, several rounds; prints medians, ratios and each mount
// process's peak resident memory, also on 65535 entries of 16 bytes in 100
// directories. A benchmark, not a test.
#include <fcntl.h>
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

#include "bench_timing.h"
#include "mount_points.h"
#include "test_archive.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

double Since(Clock::time_point begin) {
  return std::chrono::duration<double>(Clock::now() - begin).count();
}

// Starts a command with its output discarded.
pid_t Start(const std::vector<std::string>& command) {
  pid_t child = fork();
  if (child == 0) {
    int null = open("/dev/null", O_RDWR);
    dup2(null, 0);
    dup2(null, 1);
    dup2(null, 2);
    std::vector<char*> argv;
    for (const std::string& part : command) argv.push_back(const_cast<char*>(part.c_str()));
    argv.push_back(nullptr);
    execvp(argv[0], argv.data());
    _exit(127);
  }
  return child;
}

// Waits for a started command; exits the benchmark when it failed.
long Finish(pid_t child, const std::string& what) {
  int status = 0;
  rusage usage{};
  wait4(child, &status, 0, &usage);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "failed: %s\n", what.c_str());
    std::exit(1);
  }
  return usage.ru_maxrss;
}

// A running process's peak resident memory, in KiB, as the kernel keeps it.
long PeakKilobytes(pid_t process) {
  std::ifstream status("/proc/" + std::to_string(process) + "/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind("VmHWM:", 0) == 0) return std::atol(line.c_str() + 6);
  }
  return -1;
}

void Run(const std::vector<std::string>& command) {
  Finish(Start(command), command[0]);
}

// Reads every file below root, as a program walking the tree would.
std::uint64_t ReadAll(const std::string& root) {
  static std::vector<char> buffer(1 << 20);
  std::uint64_t total = 0;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    int fd = open(entry.path().c_str(), O_RDONLY);
    for (ssize_t got; fd >= 0 && (got = read(fd, buffer.data(), buffer.size())) > 0;) {
      total += static_cast<std::uint64_t>(got);
    }
    if (fd >= 0) close(fd);
  }
  return total;
}

void WriteArchive(const std::string& path, const std::vector<std::string>& names,
                  std::size_t entrySize) {
  std::string data(entrySize, '\0');
  for (std::size_t i = 0; i < entrySize; ++i) data[i] = static_cast<char>((i * 7919) >> 3);
  TestArchive archive;
  for (const std::string& name : names) archive.entries.push_back({name, data});
  WriteFile(path, archive.Bytes());
}

struct Set {
  std::string name;
  std::string archive, tar, tree;
  std::uint64_t bytes = 0;
  std::vector<double> mount, baseline, archivemount;
  long mountPeak = 0, archivemountPeak = 0;
};

class Bench {
 public:
  Bench(std::string mgarc, fs::path work, bool archivemount)
      : mgarc_(std::move(mgarc)), mountPoint_((work / "m").string()), archivemount_(archivemount) {
    fs::create_directories(mountPoint_);
  }

  // One mount and a full read of it, timed from the mount command on.
  double MountAndRead(const Set& set, bool tar) {
    auto begin = Clock::now();
    if (tar) {
      Run({"archivemount", "-o", "readonly", set.tar, mountPoint_});
    } else {
      Run({mgarc_, "mount", set.archive, mountPoint_});
    }
    Check(set, ReadAll(mountPoint_));
    double seconds = Since(begin);
    Unmount();
    return seconds;
  }

  // The mount process in the foreground, read through, and mgarc's once more
  // by four readers at once, for its peak resident memory: read from the
  // process itself (VmHWM), since a forked child's wait4 figure counts the
  // benchmark's own pages until the exec.
  long Peak(const Set& set, bool tar) {
    pid_t server = tar ? Start({"archivemount", "-f", "-o", "readonly", set.tar, mountPoint_})
                       : Start({mgarc_, "mount", "-f", set.archive, mountPoint_});
    for (int wait = 0; wait < 10000 && !IsMounted(mountPoint_); ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    Check(set, ReadAll(mountPoint_));
    std::vector<std::thread> readers;
    for (int r = 0; r < (tar ? 0 : 4); ++r) readers.emplace_back([&] { ReadAll(mountPoint_); });
    for (std::thread& reader : readers) reader.join();
    const long peak = PeakKilobytes(server);
    Unmount();
    Finish(server, tar ? "archivemount -f" : "mgarc mount -f");
    return peak;
  }

  bool archivemount() const { return archivemount_; }

 private:
  void Unmount() {
    Run({"fusermount3", "-u", mountPoint_});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the server ends, memory settles
  }

  static void Check(const Set& set, std::uint64_t bytes) {
    if (bytes != set.bytes) {
      std::fprintf(stderr, "set %s: read %llu bytes, expected %llu\n", set.name.c_str(),
                   static_cast<unsigned long long>(bytes),
                   static_cast<unsigned long long>(set.bytes));
      std::exit(1);
    }
  }

  const std::string mgarc_;
  const std::string mountPoint_;
  const bool archivemount_;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_mount MGARC [ROUNDS]\n");
    return 2;
  }
  const std::string mgarc = fs::absolute(argv[1]).string();
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  if (access("/dev/fuse", R_OK | W_OK) != 0) {
    std::printf("bench_mount: /dev/fuse is missing or not usable here: nothing measured\n");
    return 0;
  }
  const bool archivemount = std::system("command -v archivemount >/dev/null") == 0;
  const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
  const fs::path work = base / ("mgarc-mount-bench-" + std::to_string(getpid()));
  fs::create_directories(work);

  Set sets[2];
  std::vector<std::string> bigNames, smallNames, manyNames;
  for (int i = 0; i < 64; ++i) bigNames.push_back("BIG" + std::to_string(i) + ".BIN");
  for (int i = 0; i < 5000; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "D%02d\\F%04d", i / 100, i);
    smallNames.push_back(name);
  }
  for (int i = 0; i < 65535; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "D%03d\\F%05d", i * 100 / 65535, i);  // 100 directories
    manyNames.push_back(name);
  }
  Set many;  // for the peak alone
  many.name = "65535 x 16 B";
  many.bytes = 65535ull * 16;
  many.archive = (work / "many.dat").string();
  WriteArchive(many.archive, manyNames, 16);
  sets[0].name = "a: 64 x 16 MiB";
  sets[0].bytes = 64ull << 24;
  sets[1].name = "b: 5000 x 4 KiB";
  sets[1].bytes = 5000ull * 4096;
  for (int s = 0; s < 2; ++s) {
    Set& set = sets[s];
    const std::string stem = (work / (s == 0 ? "a" : "b")).string();
    set.archive = stem + ".dat";
    set.tar = stem + ".tar";
    set.tree = stem + "-tree";
    WriteArchive(set.archive, s == 0 ? bigNames : smallNames, s == 0 ? 16u << 20 : 4096);
    // The same files for the others: mgarc's own extraction, and a tar of it.
    Run({mgarc, "extract", "-q", "-C", set.tree, set.archive});
    if (archivemount) Run({"tar", "-cf", set.tar, "-C", set.tree, "."});
  }
  fs::remove_all(sets[0].tree);  // set a's yardstick is cp of the archive
  const std::string copy = (work / "copy.dat").string();

  Bench bench(mgarc, work, archivemount);
  for (int round = 0; round < rounds; ++round) {
    for (Set& set : sets) {
      // The small set runs in a fraction of the time: more runs steady its
      // median. archivemount, far slower, runs once a round.
      const int repeats = &set == &sets[0] ? 1 : 5;
      for (int turn = 0; turn < 2 * repeats; ++turn) {
        if ((turn + round) % 2 == 0) {
          set.mount.push_back(bench.MountAndRead(set, false));
          continue;
        }
        auto begin = Clock::now();
        if (&set == &sets[0]) {
          Run({"cp", set.archive, copy});
        } else if (ReadAll(set.tree) != set.bytes) {
          std::fprintf(stderr, "set b: the extracted tree is short\n");
          return 1;
        }
        set.baseline.push_back(Since(begin));
        fs::remove(copy);
      }
      if (archivemount) set.archivemount.push_back(bench.MountAndRead(set, true));
    }
  }
  for (Set& set : sets) {
    set.mountPeak = bench.Peak(set, false);
    if (archivemount) set.archivemountPeak = bench.Peak(set, true);
  }
  many.mountPeak = bench.Peak(many, false);
  fs::remove_all(work);

  std::printf(
      "%d rounds on %s, medians in seconds, each mount's time from the mount command on\n\n",
      rounds, base.c_str());
  std::printf(
      "| set | mgarc mount | baseline | archivemount | mount/baseline | "
      "mount/archivemount | mount peak RSS | archivemount peak RSS |\n");
  std::printf("|---|---|---|---|---|---|---|---|\n");
  for (const Set& set : sets) {
    double mount = Median(set.mount), baseline = Median(set.baseline);
    double other = archivemount ? Median(set.archivemount) : 0;
    std::printf(
        "| %s | %.3f | %.3f (%s) | %s | %.2f | %s | %.1f MiB | %s |\n", set.name.c_str(), mount,
        baseline, &set == &sets[0] ? "cp of the archive" : "read on the tmpfs",
        archivemount ? std::to_string(other).substr(0, 5).c_str() : "n/a", mount / baseline,
        archivemount ? std::to_string(mount / other).substr(0, 4).c_str() : "n/a",
        static_cast<double>(set.mountPeak) / 1024.0,
        archivemount ? (std::to_string(set.archivemountPeak / 1024) + " MiB").c_str() : "n/a");
  }
  // For the chart: the mount against archivemount, which users would otherwise pick.
  for (const Set& set : sets) {
    const std::string task = "mount set " + set.name;
    const double mount = Median(set.mount);
    const double peer = archivemount ? Median(set.archivemount) : Median(set.baseline);
    RecordMedian(task, "mgarc mount", mount, mount / peer);
    if (archivemount) RecordMedian(task, "archivemount", peer, 1.0);
  }
  std::printf("\nmgarc mount of 65535 entries of 16 bytes in 100 directories: peak RSS %.1f MiB\n",
              static_cast<double>(many.mountPeak) / 1024.0);
  std::printf("\ntargets:\n");
  for (const Set& set : sets) {
    const double ratio = Median(set.mount) / Median(set.baseline);
    std::printf("  mount/baseline <= 2.00 on set %s: %.2f, %s\n", set.name.c_str(), ratio,
                Verdict(ratio <= 2.0));
    if (archivemount) {
      const double other = Median(set.mount) / Median(set.archivemount);
      std::printf("  mount/archivemount < 1.00 on set %s: %.2f, %s\n", set.name.c_str(), other,
                  Verdict(other < 1.0));
    }
    std::printf("  mount peak RSS <= 16 MiB on set %s: %s\n", set.name.c_str(),
                Verdict(set.mountPeak <= 16 * 1024));
  }
  std::printf("  mount peak RSS on 65535 entries in 100 directories <= 12 MiB: %.1f MiB, %s\n",
              static_cast<double>(many.mountPeak) / 1024.0, Verdict(many.mountPeak <= 12 * 1024));
  if (!archivemount) std::printf("archivemount is not installed: that comparison was left out\n");
  return 0;
}
