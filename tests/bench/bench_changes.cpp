// Times mgarc diff -o, apply and update on set c against xdelta3 and cp, on a
// tmpfs: OLD is 64 entries of 16 MiB of random bytes (1 GiB); NEW has 3
// entries replaced, 1 removed and 1 added at the end. Prints medians, the
// patch sizes, each tool's peak resident memory and whether the targets are met.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench_timing.h"
#include "test_archive.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kEntrySize = 16 << 20;

// An archive of 16 MiB entries, each named and seeded as given.
void WriteSet(const std::string& path, const std::vector<std::pair<std::string, int>>& entries) {
  TestArchive archive;
  for (const auto& [name, seed] : entries) {
    archive.entries.push_back({name, RandomBytes(kEntrySize, seed)});
  }
  WriteFile(path, archive.Bytes());
}

}  // namespace

int main(int argc, char** argv) {
  if (int launched = LaunchIfAsked(argc, argv); launched >= 0) return launched;
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_changes MGARC [ROUNDS]\n");
    return 2;
  }
  const std::string mgarc = fs::absolute(argv[1]).string();
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string root = "/dev/shm/mgarc-bench-changes";
  fs::remove_all(root);
  fs::create_directories(root + "/tree");
  const std::string before = root + "/old.dat", after = root + "/new.dat";
  std::vector<std::pair<std::string, int>> entries;
  for (int i = 0; i < 64; ++i) entries.push_back({"E" + std::to_string(100 + i) + ".BIN", i});
  WriteSet(before, entries);
  for (int i : {10, 30, 50}) entries[i].second += 1000;  // replaced
  entries.erase(entries.begin() + 40);                   // removed
  entries.push_back({"NEW.BIN", 2000});                  // added
  WriteSet(after, entries);
  WriteFile(root + "/tree/E110.BIN", RandomBytes(kEntrySize, 3000));

  std::printf(
      "set c: OLD 64 x 16 MiB of random bytes; NEW: 3 replaced, 1 removed, 1 added; "
      "%d rounds (xdelta3 -e once)\n",
      rounds);
  Measured xdeltaEncode, xdeltaDecode, cp, diff, apply, update;
  xdeltaEncode.Add(Time({"xdelta3", "-e", "-f", "-s", before, after, root + "/x.vcdiff"}));
  Time({"zstd", "-q", "-f", "--long=31", "--patch-from=" + before, after, "-o", root + "/z.zst"});
  for (int round = 0; round < rounds; ++round) {
    // Each tool writes its output afresh: a file left from the round before
    // would let one reuse its memory and not the other.
    fs::remove(root + "/x-out.dat");
    xdeltaDecode.Add(
        Time({"xdelta3", "-d", "-f", "-s", before, root + "/x.vcdiff", root + "/x-out.dat"}));
    cp.Add(Time({"cp", before, root + "/copy.dat"}));
    // diff -o ends with 0 once the patch is written.
    diff.Add(Time({"sh", "-c", "\"$0\" diff -o \"$1\" \"$2\" \"$3\" >/dev/null", mgarc,
                   root + "/p.mgp", before, after}));
    fs::remove(root + "/m-out.dat");
    apply.Add(Time({mgarc, "apply", "-o", root + "/m-out.dat", root + "/p.mgp", before}));
    Time({"cp", before, root + "/updated.dat"});
    update.Add(Time({mgarc, "update", "-q", root + "/updated.dat", root + "/tree"}));
  }
  if (ReadFile(root + "/m-out.dat") != ReadFile(after) ||
      ReadFile(root + "/x-out.dat") != ReadFile(after)) {
    std::fprintf(stderr, "a patch did not make NEW\n");
    return 1;
  }
  const double patchSize = static_cast<double>(fs::file_size(root + "/p.mgp"));
  const double xdeltaSize = static_cast<double>(fs::file_size(root + "/x.vcdiff"));
  auto row = [](const char* what, const Measured& measured) {
    std::printf("  %-28s %8.3f s  peak %6.1f MiB\n", what, Median(measured.times),
                static_cast<double>(measured.peakKilobytes) / 1024);
  };
  row("xdelta3 -e -s OLD NEW", xdeltaEncode);
  row("xdelta3 -d", xdeltaDecode);
  row("cp of the archive", cp);
  row("mgarc diff -o", diff);
  row("mgarc apply", apply);
  row("mgarc update (one 16 MiB)", update);
  std::printf("  patch: mgarc %.1f MB, xdelta3 %.1f MB, zstd --patch-from %.1f MB\n",
              patchSize / 1e6, xdeltaSize / 1e6,
              static_cast<double>(fs::file_size(root + "/z.zst")) / 1e6);
  auto record = [](const char* task, const char* program, const Measured& measured,
                   const Measured& peer, double bytes = -1) {
    RecordMedian(task, program, Median(measured.times), Median(measured.times) / Median(peer.times),
                 bytes);
  };
  record("diff set c", "mgarc diff -o", diff, xdeltaEncode, patchSize);
  record("diff set c", "xdelta3 -e", xdeltaEncode, xdeltaEncode, xdeltaSize);
  record("apply set c", "mgarc apply", apply, xdeltaDecode);
  record("apply set c", "xdelta3 -d", xdeltaDecode, xdeltaDecode);
  record("update set c", "mgarc update", update, cp);
  record("update set c", "cp", cp, cp);

  const double diffRatio = Median(diff.times) / Median(xdeltaEncode.times);
  const double applyRatio = Median(apply.times) / Median(xdeltaDecode.times);
  const double updateRatio = Median(update.times) / Median(cp.times);
  const long peak = std::max({diff.peakKilobytes, apply.peakKilobytes, update.peakKilobytes});
  std::printf("  diff -o / xdelta3 -e  %.3f  (target <= 0.05) %s\n", diffRatio,
              Verdict(diffRatio <= 0.05));
  std::printf("  apply / xdelta3 -d    %.3f  (target <= 1.0)  %s\n", applyRatio,
              Verdict(applyRatio <= 1.0));
  std::printf("  patch / xdelta3's     %.3f  (target <= 1.0)  %s\n", patchSize / xdeltaSize,
              Verdict(patchSize <= xdeltaSize));
  std::printf("  update / cp           %.3f  (target <= 1.1)  %s\n", updateRatio,
              Verdict(updateRatio <= 1.1));
  std::printf("  peak resident memory  %.1f MiB (target <= 16) %s\n",
              static_cast<double>(peak) / 1024, Verdict(peak <= 16 * 1024));
  fs::remove_all(root);
  return 0;
}
