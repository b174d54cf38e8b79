// Fuzzes `mgarc extract`. The input's first byte picks the workers (-j 1 to
// 4, bits 0-1), -k (bit 2) or else --overwrite (bit 3); the archive follows. The output directory
// starts with symbolic links that lead out of it: SE, "\x81" and "SE\x81"
// (a lead byte, so that a name "\x81/X" tries to pass through it) to the
// directory above, and SENT.TXT to the sentinel there. Whatever the archive holds and
// however many workers run, the sentinel and the archive must stay byte for
// byte as they were, nothing may appear outside the output directory, the
// run must end with one of its statuses, and the tree and status must be
// those of a single worker.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "fuzz_workspace.h"
#include "mgarc/cli/mgarc.h"
#include "test_archive.h"

using namespace mgarc::cli;

namespace fs = std::filesystem;

namespace {

const std::string kSentinelBytes = "the sentinel must never change\n";

struct Workspace {
  std::string root = FreshWorkspace("mgarc-extract-fuzz");
  std::string sentinel = root + "/SENT.TXT";
  std::string archive = root + "/game.dat";
  // Two levels down, so that names with ".." would have somewhere to go.
  std::string output = root + "/out/deeper";
};

const Workspace& Space() {
  static const Workspace space = [] {
    Workspace made;
    WriteFile(made.sentinel, kSentinelBytes);
    return made;
  }();
  return space;
}

void FreshOutput(const Workspace& space) {
  fs::remove_all(space.root + "/out");  // removes links, never what they point to
  fs::create_directories(space.output);
  for (const char* link : {"SE", "\x81", "SE\x81"}) {
    fs::create_directory_symlink(space.root, space.output + "/" + link);
  }
  fs::create_symlink(space.sentinel, space.output + "/SENT.TXT");
}

// Every path below root with what it is: a directory, a link and its
// target, or a file and its bytes. Links are not followed.
std::map<std::string, std::string> Snapshot(const std::string& root) {
  std::map<std::string, std::string> tree;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    std::string path = it->path().lexically_relative(root).string();
    fs::file_status status = it->symlink_status();
    if (fs::is_symlink(status)) {
      tree[path] = "link " + fs::read_symlink(it->path()).string();
    } else if (fs::is_directory(status)) {
      tree[path] = "directory";
    } else if (fs::is_regular_file(status)) {
      tree[path] = "file " + ReadFile(it->path().string());
    } else {
      std::abort();  // extraction makes nothing else
    }
  }
  return tree;
}

void CheckNothingOutsideChanged(const Workspace& space, const std::string& archive) {
  if (ReadFile(space.sentinel) != kSentinelBytes) std::abort();
  if (ReadFile(space.archive) != archive) std::abort();
  for (const auto& item : fs::directory_iterator(space.root)) {
    std::string name = item.path().filename().string();
    if (name != "SENT.TXT" && name != "game.dat" && name != "out") std::abort();
  }
  for (const auto& item : fs::directory_iterator(space.root + "/out")) {
    if (item.path().filename().string() != "deeper") std::abort();
  }
}

struct Result {
  int status;
  std::map<std::string, std::string> tree;
};

// existing: "" (files that differ are kept and named), "-k" or "--overwrite".
Result Extract(const Workspace& space, const std::string& archive, int workers,
               const std::string& existing) {
  FreshOutput(space);
  std::vector<std::string> arguments = {"mgarc", "extract", "-q", "-j", std::to_string(workers)};
  if (!existing.empty()) arguments.push_back(existing);
  arguments.insert(arguments.end(), {"-C", space.output, space.archive});
  int status = static_cast<int>(RunMgarc(arguments));
  if (status < 0 || status > 2) std::abort();
  CheckNothingOutsideChanged(space, archive);
  return {status, Snapshot(space.output)};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Workspace& space = Space();
  const int workers = (data[0] & 3) + 1;
  const std::string existing = (data[0] & 4) != 0 ? "-k" : (data[0] & 8) != 0 ? "--overwrite" : "";
  const std::string archive(reinterpret_cast<const char*>(data) + 1, size - 1);
  WriteFile(space.archive, archive);

  Result result = Extract(space, archive, workers, existing);
  if (workers > 1) {
    Result single = Extract(space, archive, 1, existing);
    if (single.status != result.status || single.tree != result.tree) std::abort();
  }
  fs::remove_all(space.root + "/out");
  return 0;
}
