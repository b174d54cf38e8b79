// Fuzzes `mgarc diff -o` and `mgarc apply` together. The input's first two
// bytes (little-endian) give OLD's length; OLD's bytes follow, then NEW's.
// When both are archives, the patch that diff writes must turn exactly OLD's
// bytes into exactly NEW's, and apply it again must find NEW up to date;
// when either is not, diff must stop with status 2 and leave no patch.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz_workspace.h"
#include "mgarc/cli/mgarc.h"
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

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const Workspace& space = Space();
  const std::size_t split = std::min<std::size_t>(data[0] | data[1] << 8, size - 2);
  const std::string before(reinterpret_cast<const char*>(data + 2), split);
  const std::string after(reinterpret_cast<const char*>(data + 2 + split), size - 2 - split);
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
  WriteFile(space.target, before);
  Require(RunMgarc({"mgarc", "apply", space.patch, space.target}) == ExitStatus::kDone);
  Require(ReadFile(space.target) == after);
  Require(RunMgarc({"mgarc", "apply", space.patch, space.target}) == ExitStatus::kDone);
  Require(ReadFile(space.target) == after);
  return 0;
}
