// Entries hashed on every core: workers take runs of entries, each reading
// through a handle of its own, and the results are reported in directory order.
#include "mgarc/engine/entry_sums.h"

#include <atomic>
#include <map>

#include "mgarc/engine/block_reading.h"
#include "mgarc/engine/ordered_results.h"
#include "platform/file_stream.h"

namespace mgarc::engine {
namespace {

constexpr std::size_t kBlockSize = 256 * 1024;
// Work goes out in runs of about this many bytes or entries, so that small
// entries do not queue on the counter.
constexpr std::uint64_t kRunBytes = 4 << 20;
constexpr std::size_t kRunEntries = 256;

class Hashing {
 public:
  Hashing(const ArchiveView& archive, EntrySums& sums, OrderedResults& results)
      : archive_(archive), sums_(sums), results_(results) {
    std::uint64_t bytes = 0;
    for (std::size_t i = 0; i < archive.entries.size(); ++i) {
      bytes += archive.entries[i].present;
      if (i == 0 || bytes >= kRunBytes || i - runs_.back() >= kRunEntries) {
        runs_.push_back(i);
        bytes = archive.entries[i].present;
      }
    }
    runs_.push_back(archive.entries.size());
  }

  void Work() {
    InputFile source;
    const std::optional<std::string> problem = ReopenArchive(archive_, source);
    for (std::size_t r; !results_.Stopping() && (r = nextRun_++) + 1 < runs_.size();) {
      for (std::size_t i = runs_[r]; i < runs_[r + 1]; ++i) {
        if (problem) {
          results_.Publish(i, {Outcome::kFailed, *problem});
        } else {
          results_.Publish(i, Hash(source, i));
        }
      }
    }
  }

 private:
  ItemResult Hash(InputFile& source, std::size_t i) {
    const ArchiveEntry& entry = archive_.entries[i];
    Sha256 hash;
    const std::uint64_t read = ReadInBlocks(source, entry.offset, entry.present, kBlockSize,
                                            [&](const unsigned char* block, std::size_t size) {
                                              hash.Update(block, size);
                                              results_.AddBytes(size);
                                              return !results_.Stopping();
                                            });
    if (results_.Stopping()) return {Outcome::kStopped, {}};
    if (read < entry.present) {
      return {Outcome::kFailed, ShortReadReason(source, "cannot be read: ", entry.offset + read)};
    }
    sums_.digests[i] = hash.Finish();
    return {Outcome::kDone, {}};
  }

  const ArchiveView& archive_;
  EntrySums& sums_;
  OrderedResults& results_;
  std::vector<std::size_t> runs_;  // where each run starts; then the entry count
  std::atomic<std::size_t> nextRun_{0};
};

// A name in sha256sum's escaped form, and whether it needed escaping.
std::string Escaped(std::string_view name, bool& escaped) {
  std::string out;
  escaped = false;
  for (char c : name) {
    if (c == '\\') {
      out += "\\\\";
      escaped = true;
    } else if (c == '\n') {
      out += "\\n";
      escaped = true;
    } else {
      out += c;
    }
  }
  return out;
}

std::optional<Sha256Digest> DigestOfHex(std::string_view hex) {
  if (hex.size() != 64) return std::nullopt;
  Sha256Digest digest{};
  for (std::size_t i = 0; i < 64; ++i) {
    char c = hex[i];
    int value = c >= '0' && c <= '9'   ? c - '0'
                : c >= 'a' && c <= 'f' ? c - 'a' + 10
                : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                       : -1;
    if (value < 0) return std::nullopt;
    digest[i / 2] = static_cast<unsigned char>(digest[i / 2] << 4 | value);
  }
  return digest;
}

// One line of a sums file: "HASH  NAME" or "HASH *NAME", escaped after a
// leading '\'.
std::optional<std::pair<std::string, Sha256Digest>> ParseSumsLine(std::string_view line) {
  const bool escaped = !line.empty() && line[0] == '\\';
  if (escaped) line.remove_prefix(1);
  std::optional<Sha256Digest> digest = DigestOfHex(line.substr(0, 64));
  if (!digest || line.size() < 67 || line[64] != ' ' || (line[65] != ' ' && line[65] != '*')) {
    return std::nullopt;
  }
  std::string name;
  for (std::size_t i = 66; i < line.size(); ++i) {
    if (escaped && line[i] == '\\' && i + 1 < line.size()) {
      name += line[++i] == 'n' ? '\n' : line[i];
    } else {
      name += line[i];
    }
  }
  if (name.rfind("./", 0) == 0) name.erase(0, 2);
  return std::make_pair(std::move(name), *digest);
}

}  // namespace

EntrySums HashEntries(const ArchiveView& archive, unsigned workers, bool lines,
                      Observer& observer) {
  EntrySums sums;
  sums.digests.resize(archive.entries.size());
  std::uint64_t bytes = 0;
  for (const ArchiveEntry& entry : archive.entries) bytes += entry.present;
  OrderedResults results(archive.entries.size(), bytes);
  Hashing hashing(archive, sums, results);
  ItemReport report;
  report.name = [&archive](std::size_t i) { return archive.entries[i].shown(); };
  if (lines) {
    report.doneLine = [&](std::size_t i) {
      return SumsLine(*sums.digests[i], archive.entries[i].shown());
    };
  }
  report.observer = &observer;
  RunResult run = RunWorkers(
      workers, archive.entries.size(), [&hashing] { hashing.Work(); }, results, report);
  sums.stopped = run.stopped;
  if (!run.noneFailed) sums.refused = Problem{archive.path, "not every entry could be read"};
  if (lines && !sums.stopped) {
    for (const ArchiveEntry& entry : archive.entries) {
      if (std::optional<Problem> cut = CutShortProblem(entry)) observer.ProblemFound(*cut);
    }
  }
  return sums;
}

std::string LowerHex(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::string SumsLine(const Sha256Digest& digest, std::string_view name) {
  bool escaped = false;
  std::string shown = Escaped(name, escaped);
  return (escaped ? "\\" : "") +
         LowerHex({reinterpret_cast<const char*>(digest.data()), digest.size()}) + "  " + shown;
}

std::optional<Problem> ReadSums(const std::string& path, SumsList& sums) {
  std::string text;
  if (std::optional<std::string> reason = ReadWholeStream(path, text)) {
    return Problem{path, std::move(*reason)};
  }
  std::size_t number = 0;
  for (std::size_t start = 0; start < text.size();) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string_view line(text.data() + start, end - start);
    start = end + 1;
    ++number;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    auto parsed = ParseSumsLine(line);
    if (!parsed) {
      return Problem{path, "line " + std::to_string(number) +
                               " is not a sum as sha256sum writes it ('HASH  NAME')"};
    }
    sums.push_back(std::move(*parsed));
  }
  return std::nullopt;
}

std::vector<Finding> CompareSums(const ArchiveView& archive,
                                 const std::vector<std::optional<Sha256Digest>>& digests,
                                 const SumsList& sums) {
  // A name may be listed more than once, as an archive may hold it more than
  // once: the n-th entry of a name pairs with its n-th line.
  std::map<std::string, std::vector<const Sha256Digest*>> listed;
  for (const auto& [name, digest] : sums) listed[name].push_back(&digest);
  std::map<std::string, std::size_t> used;
  std::vector<Finding> findings;
  for (std::size_t i = 0; i < archive.entries.size(); ++i) {
    const ArchiveEntry& entry = archive.entries[i];
    const std::string name = entry.shown();
    auto found = listed.find(name);
    std::size_t& n = used[name];
    if (found == listed.end() || n >= found->second.size()) {
      findings.push_back({"extra", entry.index, "the sums do not list it", {}});
    } else if (digests[i] && *digests[i] != *found->second[n]) {
      findings.push_back({"changed", entry.index, "its bytes differ from the sums", {}});
    }
    ++n;
  }
  for (const auto& [name, digestsListed] : listed) {
    for (std::size_t n = used[name]; n < digestsListed.size(); ++n) {
      findings.push_back({"missing", std::nullopt, "listed in the sums, not in the archive", name});
    }
  }
  return findings;
}

}  // namespace mgarc::engine
