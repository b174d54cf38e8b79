// Times mgarc diff -o and apply on set d, the edits a translator makes,
// against xdelta3, and compares the patches' sizes with xdelta3's and with
// zstd --patch-from's, on a tmpfs. OLD is 3,000 entries, about 500 MB, in 60
// directories with Japanese names, from 100 bytes to 20 MB, a third of them
// Shift-JIS text; one NEW has 40 text files edited (their sizes change), the
// other one edit of 6 bytes. Prints medians, sizes, each tool's peak
// resident memory and whether the targets are met.
#include <algorithm>
#include <cmath>
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

constexpr int kDirectories = 60;
constexpr int kPerDirectory = 50;

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed * 0x9E3779B97F4A7C15ull + 1) {}
  std::uint64_t Next() {
    state_ ^= state_ << 13;
    state_ ^= state_ >> 7;
    state_ ^= state_ << 17;
    return state_;
  }
  // From low to high, evenly on a log scale: many small, a few large.
  std::size_t LogUniform(double low, double high) {
    const double unit = static_cast<double>(Next() % 1000000) / 1e6;
    return static_cast<std::size_t>(
        std::exp(std::log(low) + unit * (std::log(high) - std::log(low))));
  }

 private:
  std::uint64_t state_;
};

// Dialogue in code page 932, about size bytes, made of words; with edit set,
// some of its words are put into English, as a translator does.
std::string Dialogue(std::size_t size, std::uint64_t seed, bool edit) {
  static const std::vector<std::string> words = [] {
    std::vector<std::string> list;
    for (const char* word : {"こんにちは", "ありがとう", "今日は", "いい天気", "ですね", "主人公",
                             "彼女は", "「", "」", "……", "！", "？", "。", "、", "\r\n"}) {
      list.push_back(Utf8ToCp932(word));
    }
    return list;
  }();
  static const char* const english[] = {"Hello", "Thank you", "Today", "Nice weather"};
  Random random(seed);
  std::string text;
  for (std::size_t word = 0; text.size() < size; ++word) {
    const std::uint64_t pick = random.Next();
    // A word early on, and one of each 1,500 after it: a few lines translated.
    if (edit && word % 1500 == 5) {
      text += english[pick % 4];
    } else {
      text += words[pick % words.size()];
    }
  }
  return text;
}

struct SetD {
  TestArchive old;
  TestArchive edited;    // 40 text files translated in part
  TestArchive sixBytes;  // one edit of 6 bytes
};

SetD MakeSetD() {
  std::vector<std::string> directories;
  const char* kanji[] = {"音", "声", "画", "像", "文", "字", "背", "景"};
  for (int i = 0; i < kDirectories; ++i) {
    directories.push_back(Utf8ToCp932(std::string(kanji[i / 8]) + kanji[i % 8]));
  }
  SetD set;
  Random random(7);
  int texts = 0;
  for (int i = 0; i < kDirectories * kPerDirectory; ++i) {
    const char* extension[] = {".TXT", ".WAV", ".BIN"};
    char number[3];
    std::snprintf(number, sizeof number, "%02d", i % kPerDirectory);
    TestEntry entry{directories[i / kPerDirectory] + "\\" + number + extension[i % 3], {}};
    TestEntry edited = entry;
    if (i % 3 == 0) {
      const std::size_t size = random.LogUniform(100, 64 << 10);
      entry.data = Dialogue(size, i, false);
      edited.data = texts++ % 25 == 0 ? Dialogue(size, i, true) : entry.data;
    } else {
      const bool large = i % kPerDirectory == kPerDirectory - 1;
      entry.data = RandomBytes(
          large ? random.LogUniform(1 << 20, 20 << 20) : random.LogUniform(100, 512 << 10), i);
      edited.data = entry.data;
    }
    set.old.entries.push_back(entry);
    set.edited.entries.push_back(edited);
  }
  set.sixBytes = set.old;
  std::string& text = set.sixBytes.entries[1500].data;
  text.replace(text.size() / 2 & ~std::size_t{1}, 6, "ABCDEF");
  return set;
}

struct Result {
  Measured xdeltaEncode, xdeltaDecode, diff, apply;
  double patch = 0, xdelta = 0, zstd = 0;
};

Result Measure(const std::string& mgarc, const std::string& root, const std::string& before,
               const std::string& after, int rounds) {
  Result result;
  result.xdeltaEncode.Add(Time({"xdelta3", "-e", "-f", "-s", before, after, root + "/x.vcdiff"}));
  Time({"zstd", "-q", "-f", "--long=31", "--patch-from=" + before, after, "-o", root + "/z.zst"});
  for (int round = 0; round < rounds; ++round) {
    // Each tool writes its output afresh: a file left from the round before
    // would let one reuse its memory and not the other.
    fs::remove(root + "/x-out.dat");
    result.xdeltaDecode.Add(
        Time({"xdelta3", "-d", "-f", "-s", before, root + "/x.vcdiff", root + "/x-out.dat"}));
    result.diff.Add(Time({"sh", "-c", "\"$0\" diff -o \"$1\" \"$2\" \"$3\" >/dev/null", mgarc,
                          root + "/p.mgp", before, after}));
    fs::remove(root + "/m-out.dat");
    result.apply.Add(Time({mgarc, "apply", "-o", root + "/m-out.dat", root + "/p.mgp", before}));
  }
  if (ReadFile(root + "/m-out.dat") != ReadFile(after) ||
      ReadFile(root + "/x-out.dat") != ReadFile(after)) {
    std::fprintf(stderr, "a patch did not make NEW\n");
    std::exit(1);
  }
  result.patch = static_cast<double>(fs::file_size(root + "/p.mgp"));
  result.xdelta = static_cast<double>(fs::file_size(root + "/x.vcdiff"));
  result.zstd = static_cast<double>(fs::file_size(root + "/z.zst"));
  return result;
}

// Prints one change's rows and verdicts, and records its medians as set tag.
void Report(const char* change, const char* tag, const Result& result) {
  auto row = [](const char* what, const Measured& measured) {
    std::printf("    %-24s %8.3f s  peak %6.1f MiB\n", what, Median(measured.times),
                static_cast<double>(measured.peakKilobytes) / 1024);
  };
  std::printf("  %s\n", change);
  row("xdelta3 -e -s OLD NEW", result.xdeltaEncode);
  row("xdelta3 -d", result.xdeltaDecode);
  row("mgarc diff -o", result.diff);
  row("mgarc apply", result.apply);
  std::printf("    patch: mgarc %.0f bytes, xdelta3 %.0f, zstd --patch-from %.0f\n", result.patch,
              result.xdelta, result.zstd);
  const double diffRatio = Median(result.diff.times) / Median(result.xdeltaEncode.times);
  const double applyRatio = Median(result.apply.times) / Median(result.xdeltaDecode.times);
  const long peak = std::max(result.diff.peakKilobytes, result.apply.peakKilobytes);
  std::printf("    diff -o / xdelta3 -e  %.3f  (target <= 0.5) %s\n", diffRatio,
              Verdict(diffRatio <= 0.5));
  std::printf("    apply / xdelta3 -d    %.3f  (target <= 1.0) %s\n", applyRatio,
              Verdict(applyRatio <= 1.0));
  std::printf("    patch / xdelta3's     %.3f  (target <= 1.0) %s\n", result.patch / result.xdelta,
              Verdict(result.patch <= result.xdelta));
  std::printf("    peak resident memory  %.1f MiB (target <= 16) %s\n",
              static_cast<double>(peak) / 1024, Verdict(peak <= 16 * 1024));
  // "diff set d1: 40 text files edited": the chart names the group by what
  // comes before the colon.
  const std::string set = std::string(" set ") + tag + ": " + change;
  RecordMedian("diff" + set, "mgarc diff -o", Median(result.diff.times), diffRatio, result.patch);
  RecordMedian("diff" + set, "xdelta3 -e", Median(result.xdeltaEncode.times), 1.0, result.xdelta);
  RecordMedian("apply" + set, "mgarc apply", Median(result.apply.times), applyRatio);
  RecordMedian("apply" + set, "xdelta3 -d", Median(result.xdeltaDecode.times), 1.0);
}

}  // namespace

int main(int argc, char** argv) {
  if (int launched = LaunchIfAsked(argc, argv); launched >= 0) return launched;
  if (argc < 2) {
    std::fprintf(stderr, "usage: bench_patches MGARC [ROUNDS]\n");
    return 2;
  }
  const std::string mgarc = fs::absolute(argv[1]).string();
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const std::string root = "/dev/shm/mgarc-bench-patches";
  fs::remove_all(root);
  fs::create_directories(root);
  const std::string before = root + "/old.dat";
  {
    const SetD set = MakeSetD();
    WriteFile(before, set.old.Bytes());
    WriteFile(root + "/edited.dat", set.edited.Bytes());
    WriteFile(root + "/six.dat", set.sixBytes.Bytes());
  }
  std::printf("set d: OLD %.0f MB, 3,000 entries in 60 directories; %d rounds (xdelta3 -e once)\n",
              static_cast<double>(fs::file_size(before)) / 1e6, rounds);
  Report("40 text files edited", "d1", Measure(mgarc, root, before, root + "/edited.dat", rounds));
  Report("one 6-byte edit", "d2", Measure(mgarc, root, before, root + "/six.dat", rounds));
  fs::remove_all(root);
  return 0;
}
