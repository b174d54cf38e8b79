// mgarc's pure decisions: how names are shown, matched, checked and planned.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mgarc/engine/archive_checks.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/extraction_plan.h"
#include "mgarc/engine/packing_list.h"
#include "mgarc/engine/tree_walk.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"
#include "test_archive.h"

using namespace mgarc::engine;

namespace {

const std::string kHyo = "\x95\x5C";  // 表, whose second byte is '\'

// Names are judged by the text the host's own decoder gives them.
DecodeLevel HostDecoder() {
  static NameCodec codec;
  return DecodeWith(codec);
}

// Case as the host's Unicode mapping has it; Windows' agrees on these letters.
const FoldCase kHostFold = UppercaseText;

TEST(ShownName, DecodedTextWithSlashesAndEscapedControls) {
  EXPECT_EQ(ShownName("SE\\A.WAV", std::string("SE\\A.WAV")), "SE/A.WAV");
  EXPECT_EQ(ShownName(kHyo + "\\X", std::string("表\\X")), "表/X");
  EXPECT_EQ(ShownName("A\x1B[2J", std::string("A\x1B[2J")), "A\\x1B[2J");
}

TEST(ShownName, UndecodableBytesAreEscapedAndPairsKeepTheirSecondByte) {
  // 85 40 is no character; its second byte '@' is printable and stays.
  EXPECT_EQ(ShownName("A\x85\x40\\B", std::nullopt), "A\\x85@/B");
  // An undecodable pair whose second byte is 5C: no separator, and '\' is escaped.
  EXPECT_EQ(ShownName("\x85\x5C"
                      "A",
                      std::nullopt),
            "\\x85\\x5CA");
  EXPECT_EQ(ShownName("\xFF\x01", std::nullopt), "\\xFF\\x01");
}

TEST(StoredLevels, SplitAtSeparatorsThatAreNoSecondBytes) {
  EXPECT_EQ(StoredLevels("SE\\A.WAV"), (std::vector<std::string>{"SE", "A.WAV"}));
  EXPECT_EQ(StoredLevels(kHyo + "\\" + kHyo), (std::vector<std::string>{kHyo, kHyo}));
  EXPECT_EQ(StoredLevels("A\\\\B/C\\"), (std::vector<std::string>{"A", "B", "C"}));
  EXPECT_TRUE(StoredLevels("").empty());
  // A lead byte takes only a byte that can be a second byte: never '/'.
  EXPECT_EQ(StoredLevels("\x81/PWN"), (std::vector<std::string>{"\x81", "PWN"}));
  EXPECT_EQ(StoredLevels("SE\x81/PWN2"), (std::vector<std::string>{"SE\x81", "PWN2"}));
  EXPECT_EQ(StoredLevels("\x81\x1F\\A"), (std::vector<std::string>{"\x81\x1F", "A"}));
  EXPECT_EQ(ShownName("\x81/PWN", std::nullopt), "\\x81/PWN");
}

TEST(NameKey, TheFirstLevelsAsTheyAre) {
  std::vector<std::string> levels{"Se", "a.Wav"};
  EXPECT_EQ(NameKey(levels, 2), "Se\\a.Wav");
  EXPECT_EQ(NameKey(levels, 1), "Se");
}

TEST(GlobMatches, ShellPatternsOverWholeNames) {
  struct Case {
    const char* pattern;
    const char* name;
    bool matches;
  };
  const Case cases[] = {
      {"*.wav", "SE/DOOR.WAV", true},  // '*' crosses '/', case ignored
      {"se/*", "SE/DOOR.WAV", true},
      {"*.wav", "SE/DOOR.WAVE", false},
      {"SE?DOOR.WAV", "SE/DOOR.WAV", true},  // '?' matches '/'
      {"?.TXT", "表.TXT", true},             // '?' is one character, not one byte
      {"??.TXT", "表.TXT", false},
      {"[a-c]*", "B.TXT", true},
      {"[!a-c]*", "B.TXT", false},
      {"[^x]", "y", true},
      {"[]]", "]", true},
      {"[", "[", true},
      {"*", "", true},
      {"", "A", false},
      {"a*b*c", "aXbYbZc", true},
      {"a*b*c", "aXbYbZ", false},
      {"音声/*", "音声/声.TXT", true},
      {"\\x85*", "\\x85@", true},
      {"σ.txt", "Σ.TXT", true},  // letters beyond ASCII too
      {"[ａ-ｃ]*", "Ｂ", true},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(GlobMatches(c.pattern, c.name, kHostFold), c.matches) << c.pattern << " ~ " << c.name;
  }
  // A name made a pattern matches itself alone.
  EXPECT_TRUE(GlobMatches(LiteralPattern("X[1]*?.TXT"), "x[1]*?.txt", kHostFold));
  EXPECT_FALSE(GlobMatches(LiteralPattern("X[1]*?.TXT"), "X1AB.TXT", kHostFold));
}

TEST(Excluded, APatternLeavesOutAPathOrADirectoryItLiesIn) {
  const std::vector<std::string> patterns = {"*~", "bak", "*.tmp"};
  const std::pair<const char*, bool> cases[] = {
      {"A.TXT~", true},    {"SE/DOOR.WAV~", true}, {"BAK/X.TXT", true},  // case ignored
      {"SE/bak/X", false}, {"A.TXT", false},       {"T/A.TMP/X", true},
      {"BAKED/X", false},  {"音声/声.TXT", false},
  };
  for (const auto& [path, excluded] : cases) EXPECT_EQ(Excluded(patterns, path), excluded) << path;
  EXPECT_FALSE(Excluded({}, "A"));
}

TEST(DefaultDirectoryName, NeverTheWorkingDirectoryOrItsParent) {
  const std::pair<const char*, const char*> cases[] = {
      {"voice.dat", "voice"}, {"a.b.dat", "a.b"},     {"voice", "voice.d"}, {".dat", ".dat.d"},
      {"..dat", "..dat.d"},   {"...dat", "...dat.d"}, {"x.", "x"},          {"音声.dat", "音声"},
  };
  for (const auto& [name, directory] : cases) EXPECT_EQ(DefaultDirectoryName(name), directory);
}

TEST(LoadArchive, DataPastTheEndIsHeldInPartAndCutShort) {
  TempDir dir;
  std::string bytes = TestArchive{"VIZ00", {{"A", "abc"}, {"B", "de"}, {"C", ""}}}.Bytes();
  bytes[49] = 100;  // B's size: its data now runs past the end of the 69-byte file
  bytes[65] = 7;    // C's: all of its data lies past the end
  WriteFile(dir / "cut.dat", bytes);
  ArchiveView archive;
  auto refused = LoadArchive(dir / "cut.dat", archive);
  ASSERT_FALSE(refused) << refused->reason;
  ASSERT_EQ(archive.entries.size(), 3u);
  EXPECT_EQ(archive.entries[0].present, 3u);
  EXPECT_EQ(archive.entries[1].present, 50u);
  EXPECT_EQ(archive.entries[2].present, 0u);
  EXPECT_FALSE(CutShortProblem(archive.entries[0]));
  EXPECT_EQ(CutShortProblem(archive.entries[1]).value_or(Problem{}).reason,
            "cut short: the archive holds 50 of the entry's 100 bytes");
  EXPECT_EQ(CutShortProblem(archive.entries[2]).value_or(Problem{}).reason,
            "cut short: the archive holds 0 of the entry's 7 bytes");
}

TEST(ShortReadReason, TheSystemsErrorOrWhereTheArchiveEnded) {
  InputFile unread;  // no error: the archive ended early
  EXPECT_EQ(ShortReadReason(unread, "read failed: ", 42),
            "cut short: the archive ended at byte 42");
  InputFile missing;
  EXPECT_FALSE(missing.Open("/nonexistent/archive.dat"));
  EXPECT_EQ(ShortReadReason(missing, "read failed: ", 42),
            "read failed: " + SystemErrorUtf8(missing.error()));
}

ArchiveView ViewOf(const std::vector<std::pair<std::string, std::uint32_t>>& entries) {
  ArchiveView view;
  view.magic = "VIZ00";
  std::uint64_t offset = 16;
  for (const auto& [name, size] : entries) {
    ArchiveEntry entry;
    entry.index = static_cast<int>(view.entries.size()) + 1;
    entry.SetNames(name, name);
    entry.size = size;
    entry.offset = offset;
    offset += size;
    view.entries.push_back(entry);
  }
  view.entryCount = static_cast<std::uint16_t>(entries.size());
  view.directoryOffset = static_cast<std::uint32_t>(offset);
  view.fileSize = view.directoryEnd();
  return view;
}

std::vector<EntryFate> Fates(const ArchiveView& view, const PathRules& rules) {
  ExtractionPlan plan =
      PlanExtraction(view, std::vector<bool>(view.entries.size(), true), rules, HostDecoder(),
                     kHostFold, [](const std::string& level) { return level; });
  std::vector<EntryFate> fates(view.entries.size());
  for (const PlannedEntry& planned : plan.entries) {
    fates[static_cast<std::size_t>(planned.entry->index - 1)] = planned.fate;
  }
  return fates;
}

constexpr const PathRules& kLinux = kLinuxRules;
constexpr const PathRules& kWindows = kWindowsRules;

TEST(ExtractionPlan, TheLastOfOneNameWinsAndCaseCountsWhereTheHostFoldsIt) {
  ArchiveView view = ViewOf({{"A.TXT", 1}, {"a.txt", 2}, {"A.TXT", 3}});
  EXPECT_EQ(Fates(view, kLinux), (std::vector<EntryFate>{EntryFate::kReplacedLater,
                                                         EntryFate::kWrite, EntryFate::kWrite}));
  EXPECT_EQ(Fates(view, kWindows),
            (std::vector<EntryFate>{EntryFate::kReplacedLater, EntryFate::kReplacedLater,
                                    EntryFate::kWrite}));
}

TEST(OutputPathKey, OneKeyExactlyWhereExtractWritesOnePath) {
  struct Case {
    const char* what;
    std::string first;
    std::string second;
    bool oneOnWindows;
    bool oneOnLinux;
  };
  const Case cases[] = {
      {"a \".\" level", "A\\B", "A\\.\\B", true, true},
      {"two forms of one character", "\xED\x40", "\xFA\x5C", true, true},
      {"ASCII case", "SE\\A.WAV", "se\\a.wav", true, false},
      {"undecodable levels keep their bytes", "\x85\x40\\.\\X", "\x85\x40\\x", true, false},
      {"a second byte is never folded", "\x83\x41", "\x83\x61", false, false},
      {"a lead byte before '/' against a pair ending in '\\'", "\x85/X", "\x85\\X", false, false},
      {"a last \".\" level is the directory, no file in it", "A\\.", "A", false, false},
  };
  for (const Case& c : cases) {
    for (const PathRules* rules : {&kWindowsRules, &kLinuxRules}) {
      bool one = rules == &kWindowsRules ? c.oneOnWindows : c.oneOnLinux;
      EXPECT_EQ(OutputPathKey(c.first, *rules, HostDecoder(), kHostFold) ==
                    OutputPathKey(c.second, *rules, HostDecoder(), kHostFold),
                one)
          << c.what << (rules == &kWindowsRules ? " on Windows" : " on Linux");
    }
  }
  // The plan writes the last of one path, whatever the spelling.
  EXPECT_EQ(Fates(ViewOf({{"A\\B", 1}, {"A\\.\\B", 1}, {"\xED\x40", 1}, {"\xFA\x5C", 1}}), kLinux),
            (std::vector<EntryFate>{EntryFate::kReplacedLater, EntryFate::kWrite,
                                    EntryFate::kReplacedLater, EntryFate::kWrite}));
}

TEST(ExtractionPlan, FileAndDirectoryOfOneNameFailOnTheSecond) {
  EXPECT_EQ(Fates(ViewOf({{"SE", 1}, {"SE\\A.WAV", 1}}), kLinux),
            (std::vector<EntryFate>{EntryFate::kWrite, EntryFate::kNeedsDirectory}));
  EXPECT_EQ(Fates(ViewOf({{"SE\\A.WAV", 1}, {"se", 1}}), kWindows),
            (std::vector<EntryFate>{EntryFate::kWrite, EntryFate::kIsDirectory}));
}

TEST(DirectoryTable, EachDirectoryIsKeptOnceAndGivesItsLevels) {
  DirectoryTable table;
  const std::uint32_t a = table.Intern(DirectoryTable::kRoot, "A");
  const std::uint32_t ab = table.Intern(a, "B");
  const std::uint32_t b = table.Intern(DirectoryTable::kRoot, "B");  // one name, another parent
  EXPECT_EQ(table.Intern(DirectoryTable::kRoot, "A"), a);
  EXPECT_EQ(table.Intern(a, "B"), ab);
  EXPECT_NE(b, ab);
  EXPECT_EQ(table.size(), 4u);
  EXPECT_EQ(table.Levels(ab), (std::vector<std::string_view>{"A", "B"}));
  EXPECT_EQ(table.Levels(b), (std::vector<std::string_view>{"B"}));
  EXPECT_TRUE(table.Levels(DirectoryTable::kRoot).empty());
}

TEST(PathKeys, EntriesOfOneKeyInTheOrderAdded) {
  PathKeys keys;
  for (const char* key : {"b/x", "a", "b/x", "", "b"}) keys.Add(key);
  keys.Sort();
  EXPECT_EQ(keys.With("b/x"), (std::vector<std::uint32_t>{0, 2}));
  EXPECT_EQ(keys.With("b"), (std::vector<std::uint32_t>{4}));
  EXPECT_TRUE(keys.With("c").empty());
  EXPECT_EQ(keys[1], "a");
  EXPECT_EQ(keys[3], "");
}

TEST(ExtractionPlan, RefusedNamesAndWorkItemsOfOneDirectory) {
  ArchiveView view = ViewOf({{"..\\X", 1}, {"NUL.TXT", 1}, {"A\\1", 1}, {"B\\1", 1}, {"A\\2", 1}});
  EXPECT_EQ(Fates(view, kWindows)[0], EntryFate::kLeaves);
  EXPECT_EQ(Fates(view, kWindows)[1], EntryFate::kReserved);
  EXPECT_EQ(Fates(view, kLinux)[1], EntryFate::kWrite);
  // ".." after a lead byte and '/' is a level of its own.
  ArchiveView hidden = ViewOf({{"\x81/..\\X", 1}, {"\x81/CON", 1}});
  EXPECT_EQ(Fates(hidden, kLinux), (std::vector<EntryFate>{EntryFate::kLeaves, EntryFate::kWrite}));
  EXPECT_EQ(Fates(hidden, kWindows)[1], EntryFate::kReserved);
  ExtractionPlan plan = PlanExtraction(view, std::vector<bool>(5, true), kLinux, HostDecoder(),
                                       kHostFold, [](const std::string& level) { return level; });
  ASSERT_EQ(plan.work.size(), 3u);  // NUL.TXT at the top, A, B
  std::vector<int> a;
  for (std::size_t i : plan.work[1].entries) a.push_back(plan.entries[i].entry->index);
  EXPECT_EQ(a, (std::vector<int>{3, 5}));
}

std::vector<std::string> Kinds(const ArchiveView& view, bool canonical = true) {
  std::vector<std::string> kinds;
  auto encode = [&](const std::string& text, std::string& out) {
    out = canonical ? text : text + "?";
    return true;
  };
  for (const Finding& finding : CheckArchive(view, encode, HostDecoder(), kHostFold)) {
    kinds.push_back(finding.kind + (finding.index ? "@" + std::to_string(*finding.index) : ""));
  }
  return kinds;
}

TEST(ArchiveChecks, EachKindOnTheEntryItConcerns) {
  EXPECT_TRUE(Kinds(ViewOf({{"A.TXT", 3}, {"SE\\B.WAV", 2}})).empty());
  EXPECT_EQ(Kinds(ViewOf({{"A", 1}, {"a", 1}, {"A\\B", 1}})),
            (std::vector<std::string>{"duplicate_name@2", "name_file_and_directory@3"}));
  // One path by a "." level and by two forms of 纊; Windows refuses the "." level too.
  EXPECT_EQ(Kinds(ViewOf({{"A\\B", 1}, {"A\\.\\B", 1}, {"\xED\x40", 1}, {"\xFA\x5C\\X", 1}})),
            (std::vector<std::string>{"name_reserved_on_windows@2", "duplicate_name@2",
                                      "name_file_and_directory@4"}));
  EXPECT_EQ(Kinds(ViewOf({{"SE\\B", 1}, {"se", 1}})),
            (std::vector<std::string>{"name_file_and_directory@2"}));
  EXPECT_EQ(Kinds(ViewOf({{"..\\X", 1}, {"CON", 1}, {"C:X", 1}})),
            (std::vector<std::string>{"name_leaves_directory@1", "name_reserved_on_windows@2",
                                      "name_leaves_directory@3"}));
  EXPECT_EQ(Kinds(ViewOf({{"A", 1}}), false), (std::vector<std::string>{"name_not_canonical@1"}));
  EXPECT_EQ(Kinds(ViewOf({{"A\x7F", 1}, {"B\x1B", 1}, {"\x83\x7E", 1}})),
            (std::vector<std::string>{"name_has_control_character@1", "name_reserved_on_windows@2",
                                      "name_has_control_character@2"}));

  ArchiveView layout = ViewOf({{"A", 10}, {"B", 10}});
  layout.header[6] = 1;
  layout.directoryOffset = 40;  // 4 bytes after the data
  layout.fileSize = layout.directoryEnd() + 3;
  layout.entries[1].SetNames("B", std::nullopt);
  EXPECT_EQ(Kinds(layout),
            (std::vector<std::string>{"reserved_bytes_set", "gap_before_directory",
                                      "bytes_after_directory", "name_not_decodable@2"}));

  ArchiveView past = ViewOf({{"A", 10}, {"B", 100}});
  past.directoryOffset = 30;
  past.fileSize = past.directoryEnd();
  EXPECT_EQ(Kinds(past),
            (std::vector<std::string>{"data_past_end@2", "data_overlaps_directory@2"}));
}

// Stored names that differ in the case of one letter, and ア/ァ, which have none.
TEST(CaseBeyondAscii, OneNameOnWindowsWhereItsFileSystemIgnoresCase) {
  struct Pair {
    const char* what;
    std::string first;
    std::string second;
    bool oneOnWindows;
  };
  const Pair pairs[] = {
      {"ASCII", "A.TXT", "a.TXT", true},
      {"full-width Latin", "\x82\x60.TXT", "\x82\x81.TXT", true},  // Ａ, ａ
      {"Greek", "\x83\xB0.TXT", "\x83\xD0.TXT", true},             // Σ, σ
      {"Cyrillic", "\x84\x40.TXT", "\x84\x70.TXT", true},          // А, а
      {"katakana", "\x83\x41.TXT", "\x83\x40.TXT", false},         // ア, ァ
  };
  NameCodec codec;
  NameConversion conversion{EncodeWith(codec), DecodeWith(codec), kHostFold};
  for (const Pair& p : pairs) {
    ArchiveView view = ViewOf({{p.first, 1}, {p.second, 1}});
    EXPECT_EQ(
        Fates(view, kWindows),
        (std::vector<EntryFate>{p.oneOnWindows ? EntryFate::kReplacedLater : EntryFate::kWrite,
                                EntryFate::kWrite}))
        << p.what;
    EXPECT_EQ(Fates(view, kLinux), (std::vector<EntryFate>{EntryFate::kWrite, EntryFate::kWrite}))
        << p.what;
    std::vector<std::string> one{"duplicate_name@2"};
    EXPECT_EQ(Kinds(view), p.oneOnWindows ? one : std::vector<std::string>{}) << p.what;
    std::vector<std::string> fileAndDirectory{"name_file_and_directory@2"};
    EXPECT_EQ(Kinds(ViewOf({{p.first + "\\X", 1}, {p.second, 1}})),
              p.oneOnWindows ? fileAndDirectory : std::vector<std::string>{})
        << p.what;

    std::vector<PackedFile> files(2);
    ASSERT_TRUE(codec.Decode(p.first, files[0].relative));
    ASSERT_TRUE(codec.Decode(p.second, files[1].relative));
    std::vector<Problem> same = AssignStoredNames(files, conversion);
    ASSERT_EQ(same.size(), p.oneOnWindows ? 1u : 0u) << p.what;
    if (p.oneOnWindows) {
      EXPECT_EQ(same[0].subject, files[1].relative);
      EXPECT_EQ(same[0].reason,
                "differs from " + files[0].relative + " only in case: one file on Windows");
    }
    files[0].relative += "/X";
    std::vector<Problem> clash = AssignStoredNames(files, conversion);
    ASSERT_EQ(clash.size(), p.oneOnWindows ? 1u : 0u) << p.what;
    if (p.oneOnWindows) {
      EXPECT_EQ(clash[0].reason, "differs only in case from a directory that " + files[0].relative +
                                     " is in: one name on Windows");
    }
  }
}

// A name refused for a character says which, its code point and, where code
// page 932 has one, the character to use: the same words on both hosts,
// though Linux's converter stores U+301C and Windows' does not.
TEST(PackingList, ANameThatCannotBeStoredNamesTheCharacter) {
  struct Case {
    const char* name;
    const char* reason;
  };
  const Case cases[] = {
      {"〜.TXT", "'〜' (U+301C) cannot be stored; code page 932 has '～' (U+FF5E)"},
      {"A−B", "'−' (U+2212) cannot be stored; code page 932 has '－' (U+FF0D)"},
      {"OK/😀", "'😀' (U+1F600) cannot be stored in code page 932"},
  };
  NameCodec codec;
  const NameConversion conversion{EncodeWith(codec), DecodeWith(codec), kHostFold};
  for (const Case& c : cases) {
    std::vector<PackedFile> files(1);
    files[0].relative = c.name;
    std::vector<Problem> problems = AssignStoredNames(files, conversion);
    ASSERT_EQ(problems.size(), 1u) << c.name;
    EXPECT_EQ(problems[0].subject, c.name);
    EXPECT_EQ(problems[0].reason, c.reason);
  }
}

}  // namespace
