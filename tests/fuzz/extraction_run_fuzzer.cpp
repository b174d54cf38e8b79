// Fuzzes a whole extraction run. The input is the prompt's reply, a line
// break, then the archive. Whatever the archive holds, nothing outside the
// output directory may change: a sentinel file beside it must stay as it was,
// and no other file may appear there.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "fuzz_workspace.h"
#include "marrowgilder/engine/extraction_run.h"
#include "test_archive.h"

namespace fs = std::filesystem;

namespace {

const std::string kSentinelBytes = "the sentinel must never change\n";

struct Workspace {
  std::string root = FreshWorkspace("marrowgilder-run-fuzz");
  std::string sentinel = root + "/SENT.TXT";
  std::string archive = root + "/game.dat";
  std::string reply = root + "/reply.txt";
  // Two levels down, so that names with ".." would have somewhere to go.
  std::string output = root + "/out/deeper";
};

const Workspace& Space() {
  static const Workspace space = [] {
    Workspace made;
    WriteFile(made.sentinel, kSentinelBytes);
    // The run's dialogue is not what is tested here.
    if (std::freopen("/dev/null", "w", stdout) == nullptr) std::abort();
    return made;
  }();
  return space;
}

void CheckNothingOutsideChanged(const Workspace& space) {
  if (ReadFile(space.sentinel) != kSentinelBytes) std::abort();
  for (const auto& item : fs::directory_iterator(space.root)) {
    std::string name = item.path().filename().string();
    if (name != "SENT.TXT" && name != "game.dat" && name != "reply.txt" && name != "out") {
      std::abort();
    }
  }
  for (const auto& item : fs::directory_iterator(space.root + "/out")) {
    if (item.path().filename().string() != "deeper") std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Workspace& space = Space();
  std::string input(reinterpret_cast<const char*>(data), size);
  std::size_t lineEnd = input.find('\n');
  std::string reply = lineEnd == std::string::npos ? "1\n" : input.substr(0, lineEnd + 1);
  std::string archive = lineEnd == std::string::npos ? input : input.substr(lineEnd + 1);
  WriteFile(space.reply, reply);
  WriteFile(space.archive, archive);
  fs::create_directories(space.output);
  if (std::freopen(space.reply.c_str(), "r", stdin) == nullptr) std::abort();
  const char* magic = archive.compare(0, 3, "ZEL") == 0 ? "ZEL00" : "VIZ00";
  marrowgilder::engine::ExtractArchive(space.archive.c_str(), space.output.c_str(), magic);
  std::fflush(stdout);
  CheckNothingOutsideChanged(space);
  fs::remove_all(space.root + "/out");
  return 0;
}
