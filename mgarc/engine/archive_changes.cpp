// What differs between two archives, and the patch from one to the other.
// How it works: entries are paired by the path extract gives them, the
// entries of one path in order, so that what diff calls changed is what a
// user would see change on disk; an unpaired removed and added entry with
// the same size and digest are a rename. The patch takes NEW in file order:
// every entry whose bytes an entry of OLD holds whole (same size, same
// SHA-256) becomes a range of OLD, neighbouring ranges joined; a changed
// entry is matched against the entry it was (range_matching), and so are
// the header and the directory against OLD's, so that only the bytes an
// edit changed are stored. Matching whole entries by digest finds moved and
// renamed data at no cost beyond the digests diff computes anyway.
#include "mgarc/engine/archive_changes.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <set>
#include <unordered_map>
#include <utility>

#include "archive/archive_format.h"
#include "mgarc/engine/range_matching.h"

namespace mgarc::engine {

namespace {

using Content = std::pair<std::uint32_t, Sha256Digest>;

// A name field's stored name: up to its first zero byte.
std::string_view StoredOf(const std::array<unsigned char, kNameFieldSize>& field) {
  const auto* bytes = reinterpret_cast<const char*>(field.data());
  return std::string_view(bytes, strnlen(bytes, field.size()));
}

bool WholeInFile(const ArchiveView& archive, const ArchiveEntry& entry) {
  return entry.end() <= archive.fileSize;
}

std::array<unsigned char, kNameFieldSize> NameField(const ArchiveEntry& entry) {
  std::array<unsigned char, kNameFieldSize> field{};
  const std::string_view stored = entry.stored();
  std::memcpy(field.data(), stored.data(), std::min(stored.size(), field.size()));
  return field;
}

// The header's bytes that are not the count and the directory offset.
bool HeadersAgree(const ArchiveView& a, const ArchiveView& b) {
  return std::memcmp(a.header.data(), b.header.data(), kEntryCountAt) == 0 &&
         std::equal(a.header.begin() + kHeaderSize, a.header.end(), b.header.begin() + kHeaderSize);
}

std::string Size(std::uint32_t size) {
  return std::to_string(size);
}

}  // namespace

std::string ChangeLine(const ArchiveChange& change) {
  switch (change.kind) {
    case ChangeKind::kChanged:
      return "changed " + change.after->shown() + " (" + Size(change.before->size) + " -> " +
             Size(change.after->size) + ")";
    case ChangeKind::kAdded:
      return "added " + change.after->shown() + " (" + Size(change.after->size) + ")";
    case ChangeKind::kRemoved:
      return "removed " + change.before->shown() + " (" + Size(change.before->size) + ")";
    case ChangeKind::kRenamed:
      return "renamed " + change.before->shown() + " -> " + change.after->shown();
    case ChangeKind::kReordered:
      return "reordered: the entries are in another order";
    case ChangeKind::kOutside:
      return "outside: bytes outside the entries differ";
  }
  return {};
}

std::array<int, 4> ChangeCounts(const ArchiveDifference& difference) {
  std::array<int, 4> counts{};
  for (const ArchiveChange& change : difference.changes) {
    if (change.kind <= ChangeKind::kRenamed) ++counts[static_cast<int>(change.kind)];
  }
  return counts;
}

ArchiveDifference CompareArchives(const ArchiveView& before, const ArchiveDigests& beforeDigests,
                                  const ArchiveView& after, const ArchiveDigests& afterDigests,
                                  const std::function<std::string(const ArchiveEntry&)>& nameKey) {
  ArchiveDifference difference;
  difference.identical =
      before.fileSize == after.fileSize && beforeDigests.whole == afterDigests.whole;
  const std::size_t none = static_cast<std::size_t>(-1);
  std::unordered_map<std::string, std::deque<std::size_t>> byName;
  for (std::size_t i = 0; i < before.entries.size(); ++i) {
    byName[nameKey(before.entries[i])].push_back(i);
  }
  std::vector<std::size_t> partner(after.entries.size(), none);  // into before
  std::vector<bool> paired(before.entries.size(), false);
  for (std::size_t j = 0; j < after.entries.size(); ++j) {
    auto found = byName.find(nameKey(after.entries[j]));
    if (found == byName.end() || found->second.empty()) continue;
    partner[j] = found->second.front();
    paired[partner[j]] = true;
    found->second.pop_front();
  }

  std::vector<ArchiveChange> changed, added, removed, renamed;
  for (std::size_t j = 0; j < after.entries.size(); ++j) {
    std::size_t i = partner[j];
    if (i == none) continue;
    const ArchiveEntry& old = before.entries[i];
    const ArchiveEntry& now = after.entries[j];
    if (old.size != now.size || beforeDigests.entries[i] != afterDigests.entries[j]) {
      changed.push_back({ChangeKind::kChanged, &old, &now});
    }
  }
  std::map<Content, std::deque<std::size_t>> unpairedByContent;
  for (std::size_t i = 0; i < before.entries.size(); ++i) {
    if (!paired[i])
      unpairedByContent[{before.entries[i].size, beforeDigests.entries[i]}].push_back(i);
  }
  for (std::size_t j = 0; j < after.entries.size(); ++j) {
    if (partner[j] != none) continue;
    auto found = unpairedByContent.find({after.entries[j].size, afterDigests.entries[j]});
    if (found == unpairedByContent.end() || found->second.empty()) {
      added.push_back({ChangeKind::kAdded, nullptr, &after.entries[j]});
      continue;
    }
    std::size_t i = found->second.front();
    found->second.pop_front();
    paired[i] = true;
    renamed.push_back({ChangeKind::kRenamed, &before.entries[i], &after.entries[j]});
  }
  for (std::size_t i = 0; i < before.entries.size(); ++i) {
    if (!paired[i]) removed.push_back({ChangeKind::kRemoved, &before.entries[i], nullptr});
  }
  for (auto* kind : {&changed, &added, &removed, &renamed}) {
    difference.changes.insert(difference.changes.end(), kind->begin(), kind->end());
  }

  std::size_t last = none;
  bool reordered = false;
  for (std::size_t i : partner) {
    if (i == none) continue;
    reordered = reordered || (last != none && i < last);
    last = i;
  }
  if (reordered) difference.changes.push_back({ChangeKind::kReordered, nullptr, nullptr});
  bool outside = !HeadersAgree(before, after) || beforeDigests.gap != afterDigests.gap ||
                 beforeDigests.trailing != afterDigests.trailing;
  if (outside || (!difference.identical && difference.changes.empty())) {
    difference.changes.push_back({ChangeKind::kOutside, nullptr, nullptr});
  }
  return difference;
}

PatchPlan PlanPatch(const ArchiveView& before, const ArchiveDigests& beforeDigests,
                    const ArchiveView& after, const ArchiveDigests& afterDigests,
                    const ArchiveDifference& difference) {
  PatchPlan plan;
  PatchTables& tables = plan.tables;
  tables.header.oldSize = before.fileSize;
  tables.header.oldDigest = beforeDigests.whole;
  tables.header.newSize = after.fileSize;
  tables.header.newDigest = afterDigests.whole;
  std::map<Content, std::uint64_t> wholeInOld;  // where before has such data whole
  tables.oldEntries = EntryIblt(EntryIblt::CellsFor(before.entries.size()));
  for (std::size_t i = 0; i < before.entries.size(); ++i) {
    const ArchiveEntry& entry = before.entries[i];
    tables.oldEntries.Add(EntryKey(NameField(entry), entry.size, beforeDigests.entries[i]));
    if (entry.size > 0 && WholeInFile(before, entry)) {
      wholeInOld.emplace(Content{entry.size, beforeDigests.entries[i]}, entry.offset);
    }
  }
  // A changed entry is matched against the entry of OLD it was.
  std::unordered_map<const ArchiveEntry*, const ArchiveEntry*> was;
  for (const ArchiveChange& change : difference.changes) {
    if (change.kind == ChangeKind::kChanged) was.emplace(change.after, change.before);
  }

  std::vector<PatchPiece>& pieces = tables.pieces;
  std::uint64_t& stored = tables.header.storedSize;
  auto fromOld = [&](std::uint64_t offset, std::uint64_t length) {
    if (length == 0) return;
    if (!pieces.empty() && pieces.back().kind == PieceKind::kOld &&
        pieces.back().source + pieces.back().length == offset) {
      pieces.back().length += length;
    } else {
      pieces.push_back({PieceKind::kOld, offset, length});
    }
  };
  auto store = [&](std::uint64_t from, std::uint64_t length) {
    if (length == 0) return;
    if (!pieces.empty() && pieces.back().kind == PieceKind::kStored &&
        plan.storedFrom.back() + pieces.back().length == from) {
      pieces.back().length += length;
    } else {
      pieces.push_back({PieceKind::kStored, stored, length});
      plan.storedFrom.push_back(from);
    }
    stored += length;
  };
  // NEW's [from, to) as ranges of OLD's [oldFrom, oldTo) where the bytes agree.
  auto match = [&](std::uint64_t oldFrom, std::uint64_t oldTo, std::uint64_t from,
                   std::uint64_t to) {
    for (const RangeMatch& found :
         MatchRange(*before.file, oldFrom, oldTo, *after.file, from, to)) {
      store(from, found.newOffset - from);
      fromOld(found.oldOffset, found.length);
      from = found.newOffset + found.length;
    }
    store(from, to - from);
  };
  match(0, std::min<std::uint64_t>(kFirstEntryOffset, before.fileSize), 0,
        std::min<std::uint64_t>(kFirstEntryOffset, after.fileSize));
  std::uint64_t covered = kFirstEntryOffset;
  for (std::size_t j = 0; j < after.entries.size(); ++j) {
    const ArchiveEntry& entry = after.entries[j];
    std::uint64_t end = std::min(entry.end(), after.fileSize);
    if (entry.offset >= end) continue;
    auto found = wholeInOld.find({entry.size, afterDigests.entries[j]});
    auto old = was.find(&entry);
    if (WholeInFile(after, entry) && found != wholeInOld.end()) {
      fromOld(found->second, entry.size);
    } else if (old != was.end()) {
      match(old->second->offset, old->second->offset + old->second->present, entry.offset, end);
    } else {
      store(entry.offset, end - entry.offset);
    }
    covered = end;
  }
  // The directory and whatever lies outside the entries: against OLD's.
  match(std::min(before.entryDataEnd(), before.fileSize), before.fileSize, covered, after.fileSize);
  return plan;
}

namespace {

// Version 1: OLD's every entry is in the patch, paired with the archive's by name.
std::vector<std::string> EntriesUnlikeTable(
    const ArchiveView& archive, const ArchiveDigests& digests, const PatchTables& tables,
    const std::function<std::string(std::string_view stored)>& nameKey,
    const std::function<std::string(std::string_view stored)>& shown) {
  std::unordered_map<std::string, std::deque<std::size_t>> byName;  // OLD's entries
  for (std::size_t i = 0; i < tables.entries.size(); ++i) {
    byName[nameKey(StoredOf(tables.entries[i].nameField))].push_back(i);
  }
  std::vector<bool> paired(tables.entries.size(), false);
  std::vector<std::string> changed;
  std::vector<std::string> extra;
  for (std::size_t j = 0; j < archive.entries.size(); ++j) {
    const ArchiveEntry& entry = archive.entries[j];
    auto found = byName.find(nameKey(entry.stored()));
    if (found == byName.end() || found->second.empty()) {
      extra.push_back("extra " + entry.shown());
      continue;
    }
    const std::size_t i = found->second.front();
    found->second.pop_front();
    paired[i] = true;
    if (tables.entries[i].size != entry.size || tables.entries[i].digest != digests.entries[j]) {
      changed.push_back("changed " + entry.shown());
    }
  }
  for (std::size_t i = 0; i < tables.entries.size(); ++i) {
    if (!paired[i]) changed.push_back("missing " + shown(StoredOf(tables.entries[i].nameField)));
  }
  changed.insert(changed.end(), extra.begin(), extra.end());
  return changed;
}

// Version 2: the entries not shared, read from the difference of the two tables.
std::optional<std::vector<std::string>> EntriesUnlikeIblt(
    const ArchiveView& archive, const ArchiveDigests& digests, const PatchTables& tables,
    const std::function<std::string(std::string_view stored)>& nameKey,
    const std::function<std::string(std::string_view stored)>& shown) {
  EntryIblt mine(tables.oldEntries.cells());
  std::vector<IbltKey> keys;
  for (std::size_t j = 0; j < archive.entries.size(); ++j) {
    keys.push_back(
        EntryKey(NameField(archive.entries[j]), archive.entries[j].size, digests.entries[j]));
    mine.Add(keys.back());
  }
  std::optional<EntryIblt::Difference> difference = tables.oldEntries.Minus(mine, keys);
  if (!difference) return std::nullopt;
  std::map<std::string, std::deque<std::string>> missing;  // OLD's alone, by name key
  for (const IbltKey& key : difference->onlyHere) {
    const std::array<unsigned char, kNameFieldSize> field = KeyNameField(key);
    missing[nameKey(StoredOf(field))].push_back(shown(StoredOf(field)));
  }
  std::multiset<IbltKey> theirs(difference->onlyThere.begin(), difference->onlyThere.end());
  std::vector<std::string> changed;
  std::vector<std::string> extra;
  for (std::size_t j = 0; j < archive.entries.size(); ++j) {
    auto found = theirs.find(keys[j]);
    if (found == theirs.end()) continue;
    theirs.erase(found);
    auto old = missing.find(nameKey(archive.entries[j].stored()));
    if (old != missing.end() && !old->second.empty()) {
      old->second.pop_front();
      changed.push_back("changed " + archive.entries[j].shown());
    } else {
      extra.push_back("extra " + archive.entries[j].shown());
    }
  }
  for (auto& [key, names] : missing) {
    for (const std::string& name : names) changed.push_back("missing " + name);
  }
  changed.insert(changed.end(), extra.begin(), extra.end());
  return changed;
}

}  // namespace

std::optional<std::vector<std::string>> EntriesUnlikePatch(
    const ArchiveView& archive, const ArchiveDigests& digests, const PatchTables& tables,
    const std::function<std::string(std::string_view stored)>& nameKey,
    const std::function<std::string(std::string_view stored)>& shown) {
  if (tables.header.version == 1) {
    return EntriesUnlikeTable(archive, digests, tables, nameKey, shown);
  }
  return EntriesUnlikeIblt(archive, digests, tables, nameKey, shown);
}

}  // namespace mgarc::engine
