// verify's checks: on the header, the layout of data and directory, and each
// entry's data and name, including the names that clash where Windows
// extracts them.
#include "mgarc/engine/archive_checks.h"

#include <algorithm>
#include <unordered_set>

#include "archive/archive_format.h"
#include "mgarc/engine/entry_names.h"

namespace mgarc::engine {

namespace {

std::string Bytes(std::uint64_t count) {
  return std::to_string(count) + (count == 1 ? " byte" : " bytes");
}

}  // namespace

std::vector<Finding> CheckArchiveLayout(const ArchiveView& archive) {
  std::vector<Finding> findings;
  const auto& h = archive.header;
  auto zero = [&h](int from, int to) {
    return std::all_of(h.begin() + from, h.begin() + to, [](unsigned char b) { return b == 0; });
  };
  if (!zero(kMagicSize, kEntryCountAt) || !zero(kHeaderSize, kFirstEntryOffset)) {
    findings.push_back({"reserved_bytes_set", std::nullopt,
                        "header bytes 5-7 or 14-15 are not zero, as an archive made by these "
                        "games' tools has them"});
  }
  if (archive.entryCount > kMarrowgilderEntryLimit) {
    findings.push_back({"over_marrowgilder_limit", std::nullopt,
                        std::to_string(archive.entryCount) + " entries: marrowgilder extracts " +
                            "at most " + std::to_string(kMarrowgilderEntryLimit)});
  }
  const std::uint64_t dataEnd = archive.entriesEnd();
  if (dataEnd < archive.directoryOffset) {
    findings.push_back({"gap_before_directory", std::nullopt,
                        Bytes(archive.directoryOffset - dataEnd) +
                            " between the end of the data (" + std::to_string(dataEnd) +
                            ") and the directory (" + std::to_string(archive.directoryOffset) +
                            ")"});
  }
  if (archive.directoryEnd() < archive.fileSize) {
    findings.push_back({"bytes_after_directory", std::nullopt,
                        Bytes(archive.fileSize - archive.directoryEnd()) +
                            " after the directory, which ends at " +
                            std::to_string(archive.directoryEnd())});
  }
  return findings;
}

void CheckEntry(const ArchiveView& archive, const ArchiveEntry& entry, bool canonical,
                std::vector<Finding>& findings) {
  auto add = [&](const char* kind, std::string message) {
    findings.push_back({kind, entry.index, std::move(message)});
  };
  if (entry.end() > archive.fileSize) {
    add("data_past_end", "its data (" + Bytes(entry.size) + " at offset " +
                             std::to_string(entry.offset) + ") ends " +
                             Bytes(entry.end() - archive.fileSize) + " past the end of the file");
  }
  if (entry.size > 0 && entry.offset < archive.directoryEnd() &&
      entry.end() > archive.directoryOffset && archive.entryCount > 0) {
    add("data_overlaps_directory", "its data (offset " + std::to_string(entry.offset) + " to " +
                                       std::to_string(entry.end()) + ") runs into the directory (" +
                                       std::to_string(archive.directoryOffset) + " to " +
                                       std::to_string(archive.directoryEnd()) + ")");
  }
  if (!entry.decoded()) {
    add("name_not_decodable", "the stored name is not code page 932 text");
  } else if (!canonical) {
    add("name_not_canonical",
        "the name decodes, but encodes to other bytes: a round trip through files changes it");
  }
  const std::string stored(entry.stored());
  std::vector<std::string> levels = StoredLevels(stored);
  if (NameLeavesDirectory(stored, levels)) {
    add("name_leaves_directory", "the name leads out of the output directory");
  }
  if (NameReservedOnWindows(stored, levels)) {
    add("name_reserved_on_windows",
        "Windows cannot hold the name as a file: a device name, ':', a character it forbids, or "
        "a name ending in a dot or a blank");
  }
  // No second byte is below 0x40 or 7F: every such byte is a character of its own.
  for (char c : stored) {
    if ((c > 0 && c < 0x20) || c == 0x7F) {
      add("name_has_control_character",
          "the name holds a control character (01-1F or 7F), which create refuses and a "
          "terminal would obey");
      break;
    }
  }
}

void CheckNameClashes(const ArchiveView& archive, const DecodeLevel& decode, const FoldCase& fold,
                      std::vector<Finding>& findings) {
  PathKeys keys;
  for (const ArchiveEntry& entry : archive.entries) {
    keys.Add(OutputPathKey(entry.stored(), kWindowsRules, decode, fold));
  }
  keys.Sort();
  // Whether an entry before the one numbered before has this key.
  auto earlier = [&keys](const std::string& key, std::size_t before) {
    std::vector<std::uint32_t> same = keys.With(key);
    return !same.empty() && same.front() < before;
  };
  std::unordered_set<std::string> directories;
  for (std::size_t i = 0; i < archive.entries.size(); ++i) {
    const ArchiveEntry& entry = archive.entries[i];
    const std::string key(keys[i]);
    if (key.empty()) continue;
    if (earlier(key, i)) {
      findings.push_back({"duplicate_name", entry.index,
                          "an earlier entry is extracted to the same file (case and \".\" levels "
                          "ignored); extracted, this one replaces it"});
    } else if (directories.count(key) != 0) {
      findings.push_back({"name_file_and_directory", entry.index,
                          "an earlier entry uses this name as a directory"});
    }
    for (const std::string& directory : DirectoryKeys(key)) {
      if (earlier(directory, i)) {
        findings.push_back({"name_file_and_directory", entry.index,
                            "an earlier entry is a file where this name needs a directory"});
        break;
      }
      directories.insert(directory);
    }
  }
}

}  // namespace mgarc::engine
