// Fuzzes `mgarc diff -o` and `mgarc apply` together. The input's first two
// bytes (little-endian) give OLD's length; OLD's bytes follow, then NEW's.
// When both are archives, the patch that diff writes must turn exactly OLD's
// bytes into exactly NEW's, and apply it again must find NEW up to date;
// when either is not, diff must stop with status 2 and leave no patch.
//
// With the top bit of the second byte set, the rest is one archive, and the
// other fifteen bits seed edits a translator would make: OLD is that
// archive's entries laid out afresh, NEW the same with a few bytes inserted,
// removed or overwritten, one edit in each of several entries. Such a patch
// must cost no more than its header, packed size and checksum (152 bytes),
// its tables (OLD's entries, 32 bytes a cell, and 24 bytes a piece: 3 an
// edit, 2 a record, and 4) with what deflate adds to data it cannot shrink
// (13 bytes and a thousandth), the bytes the edits put in, the header and
// every directory record (16 bytes each), and 4 bytes a piece for the sizes
// of the stored chunks.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz_workspace.h"
#include "mgarc/cli/mgarc.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/entry_iblt.h"
#include "test_archive.h"

using namespace mgarc::cli;

namespace fs = std::filesystem;

namespace {

struct Workspace {
  std::string root = FreshWorkspace("mgarc-patch-fuzz");
  std::string before = root + "/old.dat";
  std::string after = root + "/new.dat";
  std::string patch = root + "/p.mgp";
  std::string target = root + "/target.dat";
};

const Workspace& Space() {
  static const Workspace space;
  return space;
}

void Require(bool condition) {
  if (!condition) std::abort();
}

// The archive's entries laid out afresh (none when it is no archive), and
// the same with one small edit in each of several entries; the bytes the
// edits put in.
bool MakeEdited(const std::string& bytes, unsigned seed, TestArchive& old, TestArchive& edited,
                std::size_t& added, std::size_t& edits) {
  WriteFile(Space().before, bytes);
  mgarc::engine::ArchiveView view;
  if (mgarc::engine::LoadArchive(Space().before, view)) return false;
  old.magic = view.magic;
  for (const auto& entry : view.entries) {
    std::string data(entry.present, '\0');
    if (view.file->ReadAt(entry.offset, data.data(), data.size()) != data.size()) return false;
    old.entries.push_back({std::string(entry.stored()), data});
  }
  edited = old;
  added = edits = 0;
  for (TestEntry& entry : edited.entries) {
    seed = seed * 1103515245 + 12345;
    if ((seed >> 16) % 3 != 0) continue;  // about one entry in three
    std::string& data = entry.data;
    const std::size_t at = data.empty() ? 0 : (seed >> 8) % (data.size() + 1);
    const std::size_t length = 1 + (seed >> 4) % 8;
    const std::string put(length, static_cast<char>('a' + seed % 26));
    switch ((seed >> 2) % 3) {
      case 0:  // insert: the entry grows
        data.insert(at, put);
        added += length;
        break;
      case 1:  // remove: it shrinks
        data.erase(at, length);
        break;
      default:  // overwrite, past the end too
        data.replace(at, length, put);
        added += length;
        break;
    }
    ++edits;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Workspace& space = Space();
  std::size_t bound = static_cast<std::size_t>(-1);
  std::string before;
  std::string after;
  if ((data[1] & 0x80) != 0) {
    TestArchive old;
    TestArchive edited;
    std::size_t added = 0;
    std::size_t edits = 0;
    if (!MakeEdited(std::string(reinterpret_cast<const char*>(data + 2), size - 2),
                    data[0] | (data[1] & 0x7F) << 8, old, edited, added, edits)) {
      return 0;
    }
    before = old.Bytes();
    after = edited.Bytes();
    const std::size_t records = old.entries.size();
    const std::size_t pieces = 3 * edits + 2 * records + 4;
    const std::size_t tables = 32 * mgarc::engine::EntryIblt::CellsFor(records) + 24 * pieces;
    bound = 152 + tables + 13 + tables / 1000 + added + 16 + 16 * records + 4 * pieces;
  } else {
    const std::size_t split = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
    before.assign(reinterpret_cast<const char*>(data + 2), split);
    after.assign(reinterpret_cast<const char*>(data + 2 + split), size - 2 - split);
  }
  WriteFile(space.before, before);
  WriteFile(space.after, after);
  fs::remove(space.patch);
  int status = static_cast<int>(
      RunMgarc({"mgarc", "diff", "-j", "2", "-o", space.patch, space.before, space.after}));
  // With -o the status says whether the patch was written, not whether they differ.
  Require(status == 0 || status == 2);
  if (status == 2) {
    Require(!fs::exists(space.patch));
    return 0;
  }
  Require(fs::file_size(space.patch) <= bound);
  WriteFile(space.target, before);
  Require(RunMgarc({"mgarc", "apply", space.patch, space.target}) == ExitStatus::kDone);
  Require(ReadFile(space.target) == after);
  Require(RunMgarc({"mgarc", "apply", space.patch, space.target}) == ExitStatus::kDone);
  Require(ReadFile(space.target) == after);
  return 0;
}
