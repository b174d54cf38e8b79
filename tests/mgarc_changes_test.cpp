// The decisions of update, diff and apply: pairing, the patch plan and its
// encoding, the update plan. Archives are made here and read from files.
#include <gtest/gtest.h>

#include <cctype>
#include <string>
#include <vector>

#include "mgarc/engine/archive_changes.h"
#include "mgarc/engine/archive_digests.h"
#include "mgarc/engine/archive_writer.h"
#include "mgarc/engine/deflate.h"
#include "mgarc/engine/entry_iblt.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/patch_format.h"
#include "mgarc/engine/update_plan.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"
#include "test_archive.h"

using namespace mgarc::engine;

namespace {

struct Loaded {
  ArchiveView view;
  ArchiveDigests digests;
};

void Load(const std::string& path, const std::string& bytes, Loaded& loaded) {
  WriteFile(path, bytes);
  auto refused = LoadArchive(path, loaded.view);
  ASSERT_FALSE(refused) << refused->reason;
  auto unread = DigestArchive(loaded.view, loaded.digests);
  ASSERT_FALSE(unread) << unread->reason;
}

// NEW as apply makes it from OLD's bytes and the stored data.
std::string Rebuild(const PatchPlan& plan, const std::string& oldBytes,
                    const std::string& newBytes) {
  std::string stored;
  std::size_t k = 0;
  for (const PatchPiece& piece : plan.tables.pieces) {
    if (piece.kind == PieceKind::kStored)
      stored += newBytes.substr(plan.storedFrom[k++], piece.length);
  }
  std::string made;
  for (const PatchPiece& piece : plan.tables.pieces) {
    const std::string& from = piece.kind == PieceKind::kOld ? oldBytes : stored;
    made += from.substr(piece.source, piece.length);
  }
  return made;
}

std::string Lines(const ArchiveDifference& difference) {
  static const char* const kNames[] = {"changed", "added",     "removed",
                                       "renamed", "reordered", "outside"};
  std::string lines;
  for (const ArchiveChange& change : difference.changes) {
    lines += kNames[static_cast<int>(change.kind)];
    if (change.before != nullptr) lines += " " + change.before->shown();
    if (change.after != nullptr) lines += " " + change.after->shown();
    lines += ";";
  }
  return lines;
}

std::string WithTrailing(std::string bytes, const std::string& extra) {
  return bytes + extra;
}

struct PairCase {
  const char* what;
  std::string before;
  std::string after;
  const char* changes;
  std::size_t maxStored;  // the patch stores at most this many bytes
};

// Decodes the header and tables that EncodePatchTables wrote, deflated or
// not: the reason when they do not decode.
std::optional<std::string> ReadTablesBack(const std::string& encoded, PatchTables& decoded) {
  const auto* bytes = reinterpret_cast<const unsigned char*>(encoded.data());
  if (auto reason = DecodePatchHeader(bytes, decoded.header)) return reason;
  std::vector<unsigned char> tables(bytes + kPatchHeaderSize, bytes + encoded.size());
  if (decoded.deflated()) {
    decoded.packedSize = DecodePackedSize(bytes + kPatchHeaderSize);
    if (auto reason = InflatePatchTables(bytes + kPatchHeaderSize + 8, decoded, tables)) {
      return reason;
    }
  }
  return DecodePatchTables(tables.data(), decoded);
}

TEST(ArchiveChanges, PairingPatchPlanAndRoundTrip) {
  const std::string big = PatternBytes(5000);
  const std::string other = PatternBytes(5000, 7);
  TestArchive base{"VIZ00", {{"A.TXT", "alpha"}, {"SE\\B.WAV", big}, {"C", ""}}};
  TestArchive gap = base;
  gap.directoryOffsetOverride = 16 + 5 + 5000 + 9;
  // Edits inside SE/B.WAV: six bytes overwritten; ten inserted and seven
  // removed, so that the entry, the data after it and the directory shift.
  std::string overwritten = big;
  overwritten.replace(2500, 6, "EDITED");
  std::string shifted = big;
  shifted.insert(1000, "0123456789");
  shifted.erase(4000, 7);
  const PairCase cases[] = {
      {"identical", base.Bytes(), base.Bytes(), "", 16 + 48},
      {"changed", base.Bytes(),
       TestArchive{"VIZ00", {{"A.TXT", "alpha"}, {"SE\\B.WAV", other}, {"C", ""}}}.Bytes(),
       "changed SE/B.WAV SE/B.WAV;", 16 + 5000 + 48},
      {"six bytes overwritten", base.Bytes(),
       TestArchive{"VIZ00", {{"A.TXT", "alpha"}, {"SE\\B.WAV", overwritten}, {"C", ""}}}.Bytes(),
       "changed SE/B.WAV SE/B.WAV;", 6},
      // The new bytes, the size field of the record and the directory offset.
      {"bytes inserted and removed", base.Bytes(),
       TestArchive{"VIZ00", {{"A.TXT", "alpha"}, {"SE\\B.WAV", shifted}, {"C", ""}}}.Bytes(),
       "changed SE/B.WAV SE/B.WAV;", 10 + 2 + 2},
      {"added and removed", base.Bytes(),
       TestArchive{"VIZ00", {{"A.TXT", "alpha"}, {"SE\\B.WAV", big}, {"D", "new"}}}.Bytes(),
       "added D;removed C;", 16 + 3 + 48},
      {"renamed, in another case of one name", base.Bytes(),
       TestArchive{"VIZ00", {{"a.txt", "alpha"}, {"SE\\X.WAV", big}, {"C", ""}}}.Bytes(),
       "renamed SE/B.WAV SE/X.WAV;", 16 + 48},
      {"reordered", base.Bytes(),
       TestArchive{"VIZ00", {{"SE\\B.WAV", big}, {"A.TXT", "alpha"}, {"C", ""}}}.Bytes(),
       "reordered;", 16 + 48},
      {"a gap and trailing bytes", base.Bytes(), WithTrailing(gap.Bytes(), "tail"), "outside;",
       16 + 9 + 48 + 4},
      {"the other magic", base.Bytes(),
       TestArchive{"ZEL00", {{"A.TXT", "alpha"}, {"SE\\B.WAV", big}, {"C", ""}}}.Bytes(),
       "outside;", 16 + 48},
      {"a duplicate name, data moved to it", base.Bytes(),
       TestArchive{"VIZ00", {{"A.TXT", "alpha"}, {"A.TXT", big}}}.Bytes(),
       "removed C;renamed SE/B.WAV A.TXT;", 16 + 32},
      {"to an empty archive", base.Bytes(), TestArchive{"VIZ00", {}}.Bytes(),
       "removed A.TXT;removed SE/B.WAV;removed C;", 16},
      {"from an empty archive", TestArchive{"VIZ00", {}}.Bytes(), base.Bytes(),
       "added A.TXT;added SE/B.WAV;added C;", 16 + 5005 + 48},
  };
  TempDir dir;
  NameCodec codec;
  auto key = [decode = DecodeWith(codec)](const ArchiveEntry& entry) {
    return OutputPathKey(entry.stored(), kWindowsRules, decode, UppercaseText);
  };
  for (const PairCase& c : cases) {
    Loaded before;
    Loaded after;
    Load(dir / "old.dat", c.before, before);
    Load(dir / "new.dat", c.after, after);
    ArchiveDifference difference =
        CompareArchives(before.view, before.digests, after.view, after.digests, key);
    EXPECT_EQ(difference.identical, c.before == c.after) << c.what;
    EXPECT_EQ(Lines(difference), c.changes) << c.what;

    PatchPlan plan = PlanPatch(before.view, before.digests, after.view, after.digests, difference);
    EXPECT_TRUE(Rebuild(plan, c.before, c.after) == c.after) << c.what;
    EXPECT_LE(plan.tables.header.storedSize, c.maxStored) << c.what;
    EXPECT_EQ(plan.tables.header.newDigest, Sha256Of(c.after.data(), c.after.size())) << c.what;

    // The tables read back as they were written, deflated or not.
    for (std::uint32_t flags : {0u, kPatchDeflated}) {
      plan.tables.header.flags = flags;
      std::string encoded = EncodePatchTables(plan.tables);
      ASSERT_EQ(encoded.size(), plan.tables.storedOffset()) << c.what;
      PatchTables decoded;
      ASSERT_EQ(ReadTablesBack(encoded, decoded), std::nullopt) << c.what;
      EXPECT_EQ(EncodePatchTables(decoded), encoded) << c.what;
    }
  }
}

// A copy with one entry gone and one added is named by what changed, not by
// every entry after the gap, which only moved.
TEST(ArchiveChanges, AWrongArchiveIsComparedByName) {
  TempDir dir;
  TestArchive old{"VIZ00", {{"A", "a"}, {"B", "b"}, {"C", "c"}, {"D", "d"}}};
  TestArchive wrong{"VIZ00", {{"B", "b"}, {"C", "c"}, {"d", "changed"}, {"E", "e"}}};
  Loaded before;
  Loaded user;
  Load(dir / "old.dat", old.Bytes(), before);
  Load(dir / "user.dat", wrong.Bytes(), user);
  const PatchPlan plan =
      PlanPatch(before.view, before.digests, before.view, before.digests, ArchiveDifference{});
  auto key = [](std::string_view stored) {
    std::string upper(stored);
    for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return upper;
  };
  auto shown = [](std::string_view stored) { return std::string(stored); };
  EXPECT_EQ(EntriesUnlikePatch(user.view, user.digests, plan.tables, key, shown),
            (std::vector<std::string>{"changed d", "missing A", "extra E"}));
  EXPECT_EQ(EntriesUnlikePatch(before.view, before.digests, plan.tables, key, shown),
            std::vector<std::string>{});
}

TEST(PatchFormat, TablesThatDoNotDescribeNewAreDamaged) {
  PatchTables tables;
  tables.header.oldSize = 100;
  tables.header.newSize = 30;
  tables.header.storedSize = 10;
  tables.pieces = {{PieceKind::kOld, 80, 20}, {PieceKind::kStored, 0, 10}};
  struct Case {
    const char* what;
    std::size_t piece;
    PatchPiece replacement;
  };
  const Case cases[] = {
      {"past OLD's end", 0, {PieceKind::kOld, 81, 20}},
      {"past the stored data", 1, {PieceKind::kStored, 1, 10}},
      {"short of NEW's size", 1, {PieceKind::kStored, 0, 9}},
      {"an unknown kind", 1, {static_cast<PieceKind>(3), 0, 10}},
  };
  std::string good = EncodePatchTables(tables);
  PatchTables decoded;
  const auto* bytes = reinterpret_cast<const unsigned char*>(good.data());
  ASSERT_EQ(DecodePatchHeader(bytes, decoded.header), std::nullopt);
  EXPECT_EQ(DecodePatchTables(bytes + kPatchHeaderSize, decoded), std::nullopt);
  for (const Case& c : cases) {
    PatchTables broken = tables;
    broken.pieces[c.piece] = c.replacement;
    std::string encoded = EncodePatchTables(broken);
    bytes = reinterpret_cast<const unsigned char*>(encoded.data());
    ASSERT_EQ(DecodePatchHeader(bytes, decoded.header), std::nullopt);
    EXPECT_NE(DecodePatchTables(bytes + kPatchHeaderSize, decoded), std::nullopt) << c.what;
  }
  std::string other = good;
  other[8] = 3;
  EXPECT_EQ(DecodePatchHeader(reinterpret_cast<const unsigned char*>(other.data()), decoded.header),
            "a patch of version 3, this mgarc reads versions 1 and 2");
  other = good;
  other[12] = 6;  // a table of cells not in four parts
  EXPECT_EQ(DecodePatchHeader(reinterpret_cast<const unsigned char*>(other.data()), decoded.header),
            "damaged: a table of 6 cells");
}

TEST(PatchFormat, DeflatedTablesAndChunksAreCheckedBeforeTheyAreTrusted) {
  PatchTables tables;
  tables.header.flags = kPatchDeflated;
  tables.header.oldSize = 100;
  tables.header.newSize = 30;
  tables.header.storedSize = 10;
  tables.pieces = {
      {PieceKind::kStored, 0, 4}, {PieceKind::kOld, 80, 20}, {PieceKind::kStored, 4, 6}};
  auto decode = [](PatchTables written) {
    PatchTables decoded;
    return ReadTablesBack(EncodePatchTables(written), decoded);
  };
  EXPECT_EQ(decode(tables), std::nullopt);
  PatchTables swapped = tables;  // the stored pieces must take the data in order
  swapped.pieces[0].source = 6;
  swapped.pieces[2].source = 0;
  EXPECT_EQ(decode(swapped), "damaged: stored pieces out of order");

  // A header that claims more tables than its stream can inflate to is
  // refused before anything is held.
  std::string encoded = EncodePatchTables(tables);
  encoded[16] = '\xFF';
  encoded[17] = '\xFF';
  encoded[18] = '\x3F';  // 4,194,303 pieces
  PatchTables claimed;
  const auto* bytes = reinterpret_cast<const unsigned char*>(encoded.data());
  ASSERT_EQ(DecodePatchHeader(bytes, claimed.header), std::nullopt);
  claimed.packedSize = DecodePackedSize(bytes + kPatchHeaderSize);
  std::vector<unsigned char> plain;
  EXPECT_NE(InflatePatchTables(bytes + kPatchHeaderSize + 8, claimed, plain), std::nullopt);
  EXPECT_TRUE(plain.empty());
  encoded[19] = '\x01';  // more pieces than a deflated patch may have
  EXPECT_EQ(DecodePatchHeader(bytes, claimed.header), "damaged: 20971519 pieces");
  encoded = EncodePatchTables(tables);
  encoded[20] = 2;  // a flag this version does not know
  bytes = reinterpret_cast<const unsigned char*>(encoded.data());
  EXPECT_EQ(DecodePatchHeader(bytes, claimed.header),
            "damaged: flags 2 that this mgarc does not know");

  // Each chunk's packed size: more than 0, no more than the chunk.
  tables.header.storedSize = kMaxCodedSize + 10;
  struct Case {
    std::uint32_t first, second;
    bool good;
  };
  for (const Case& c :
       {Case{1, 10, true}, Case{0, 10, false},
        Case{static_cast<std::uint32_t>(kMaxCodedSize) + 1, 10, false}, Case{5, 11, false}}) {
    const std::string sizes = EncodeChunkSizes({c.first, c.second});
    EXPECT_EQ(DecodeChunkSizes(reinterpret_cast<const unsigned char*>(sizes.data()), tables),
              c.good)
        << c.first << " " << c.second;
  }
  EXPECT_EQ(ChunkCount(kMaxCodedSize + 10), 2u);
}

TEST(Deflate, InflatesOnlyAWholeStreamOfTheSizeAsked) {
  const std::string text(5000, 'a');
  const auto* bytes = reinterpret_cast<const unsigned char*>(text.data());
  std::string packed = Deflate(bytes, text.size());
  ASSERT_LT(packed.size(), 100u);
  auto inflate = [](const std::string& stream, std::size_t size) {
    std::vector<unsigned char> out(size);
    return Inflate(reinterpret_cast<const unsigned char*>(stream.data()), stream.size(), out.data(),
                   size) &&
           std::string(out.begin(), out.end()) == std::string(size, 'a');
  };
  EXPECT_TRUE(inflate(packed, 5000));
  EXPECT_FALSE(inflate(packed, 4999));
  EXPECT_FALSE(inflate(packed, 5001));
  EXPECT_FALSE(inflate(packed + "x", 5000));
  EXPECT_FALSE(inflate(packed.substr(0, packed.size() - 1), 5000));
  std::string flipped = packed;
  flipped[packed.size() / 2] ^= 0x10;
  EXPECT_FALSE(inflate(flipped, 5000));

  EXPECT_TRUE(WorthDeflating(bytes, text.size()));
  std::string random;
  for (int i = 0; random.size() < 20000; ++i) {
    const Sha256Digest sum = Sha256Of(&i, sizeof i);
    random.append(sum.begin(), sum.end());
  }
  EXPECT_FALSE(
      WorthDeflating(reinterpret_cast<const unsigned char*>(random.data()), random.size()));
  EXPECT_FALSE(WorthDeflating(bytes, 0));
}

TEST(EntryIblt, TheEntriesNotSharedAreReadBackWhenFew) {
  auto key = [](int i, std::uint32_t size) {
    std::array<unsigned char, kNameFieldSize> field{};
    const std::string name = "E" + std::to_string(i);
    std::copy(name.begin(), name.end(), field.begin());
    return EntryKey(field, size, Sha256Of(name.data(), name.size()));
  };
  for (int differing : {0, 1, 5, 10, 12}) {
    EntryIblt old(EntryIblt::CellsFor(3000));
    EntryIblt mine(old.cells());
    for (int i = 0; i < 3000; ++i) {
      old.Add(key(i, 10));
      // The first ones differ in size; the same key once more cancels nothing.
      mine.Add(key(i, i < differing ? 11 : 10));
    }
    const std::optional<EntryIblt::Difference> difference =
        EntryIblt::Decode(reinterpret_cast<const unsigned char*>(old.Encode().data()), old.cells())
            .Minus(mine);
    ASSERT_TRUE(difference) << differing;
    ASSERT_EQ(difference->onlyHere.size(), static_cast<std::size_t>(differing));
    ASSERT_EQ(difference->onlyThere.size(), static_cast<std::size_t>(differing));
    for (const IbltKey& k : difference->onlyThere) EXPECT_EQ(KeySize(k), 11u);
  }
  // More than the table can tell: said so, never a wrong answer.
  EntryIblt old(EntryIblt::CellsFor(3000));
  EntryIblt mine(old.cells());
  for (int i = 0; i < 100; ++i) mine.Add(key(i, 1));
  EXPECT_FALSE(old.Minus(mine));
  EXPECT_EQ(old.Encode().size(), 1408u);  // the largest table, for any number of entries
}

TEST(UpdatePlan, ReplacesTheLastOfANameKeepsTheRestAndRefusesWhatItCannotDo) {
  TempDir dir;
  // ED 40 is the non-canonical form of 纊: kept as it is stored.
  std::string bytes = TestArchive{
      "VIZ00",
      {{"A.TXT", "first"},
       {"\xED\x40", "rare"},
       {"a.txt", "second"},
       {"DEL\\X", "x"},
       {"KEEP", "k"}}}.Bytes();
  Loaded archive;
  Load(dir / "a.dat", bytes, archive);
  NameCodec codec;
  auto key = [decode = DecodeWith(codec)](std::string_view stored) {
    return OutputPathKey(stored, kWindowsRules, decode, UppercaseText);
  };
  std::vector<PackedFile> files = {{"/t/A.TXT", "A.TXT", "A.TXT", 3}, {"/t/NEW", "NEW", "NEW", 1}};
  UpdatePlan plan = PlanUpdate(archive.view, files, {"del/*"}, key, UppercaseText);
  EXPECT_TRUE(plan.problems.empty());
  ASSERT_EQ(plan.entries.size(), 5u);
  EXPECT_EQ(plan.entries[0].file, nullptr);  // the first A.TXT is not the one extracted
  EXPECT_EQ(plan.entries[1].old->stored(), "\xED\x40");
  EXPECT_EQ(plan.entries[2].file, &files[0]);
  EXPECT_EQ(plan.entries[2].old->stored(), "a.txt");  // its place and stored name stay
  EXPECT_EQ(plan.entries[3].old->stored(), "KEEP");
  EXPECT_EQ(plan.entries[4].old, nullptr);
  EXPECT_EQ(plan.entries[4].file, &files[1]);
  EXPECT_EQ(plan.replaced, 1u);
  EXPECT_EQ(plan.added, 1u);
  EXPECT_EQ(plan.deleted.size(), 1u);
  EXPECT_EQ(plan.kept, 3u);

  UpdatePlan refused = PlanUpdate(archive.view, files, {"A.TXT", "NONE"}, key, UppercaseText);
  ASSERT_EQ(refused.problems.size(), 2u);
  EXPECT_EQ(refused.problems[0].subject, "NONE");
  EXPECT_EQ(refused.problems[0].reason, "no entry matches");
  EXPECT_EQ(refused.problems[1].subject, "A.TXT");
  EXPECT_EQ(refused.problems[1].reason, "both replaced and deleted");

  // Data past the end cannot be kept, but can be replaced.
  bytes[16 + 5 + 4 + 6 + 1 + 1 + 5 * 16 - 16 + 12] = 9;  // KEEP's size
  Load(dir / "b.dat", bytes, archive);
  UpdatePlan cut = PlanUpdate(archive.view, {}, {}, key, UppercaseText);
  ASSERT_EQ(cut.problems.size(), 1u);
  EXPECT_EQ(cut.problems[0].subject, "KEEP");
  std::vector<PackedFile> keep = {{"/t/KEEP", "KEEP", "KEEP", 1}};
  EXPECT_TRUE(PlanUpdate(archive.view, keep, {}, key, UppercaseText).problems.empty());
}

}  // namespace
