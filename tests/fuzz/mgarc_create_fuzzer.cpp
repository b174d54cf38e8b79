// Fuzzes `mgarc create` against extraction. The input's first byte picks the
// workers (-j 1 to 4, bits 0-1), the magic (bit 2), whether an old archive is
// in the way (bit 3) and whether one file is large enough for the system's
// copy (bit 4); the rest makes a tree of up to six files at most two
// directories deep, whose names join pieces from a table (ASCII, Japanese
// that code page 932 holds one way, characters it holds only as others or not
// at all, names Windows forbids) or bytes straight from the input, with
// contents from the input.
// When create writes the archive: it is laid out as it should be (header,
// data in stored-name order, directory right after, nothing else), verify
// finds nothing in it, extraction gives back exactly the files of the tree,
// and `list --names` given back as --order, with other workers, makes the
// same bytes. When it refuses: the old archive, if any, is untouched and no
// other file is beside it. A tree whose names are all plainly valid must be
// written.
#include <fcntl.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "fuzz_workspace.h"
#include "mgarc/cli/mgarc.h"
#include "test_archive.h"

using namespace mgarc::cli;

namespace fs = std::filesystem;

namespace {

struct Piece {
  const char* utf8;
  int storedBytes;  // its length in code page 932, when plainly valid; 0 otherwise
};

const Piece kPieces[] = {
    // Plainly valid: no join of them makes a device name, a name ending in a
    // dot or a blank, or anything else a rule refuses but length and case,
    // which are counted.
    {"A", 1},
    {"a", 1},
    {"b", 1},
    {"B", 1},
    {"SE", 2},
    {"se", 2},
    {".TXT", 4},
    {"0", 1},
    {"_", 1},
    {"表", 2},
    {"ソ", 2},
    {"音", 2},
    {"声", 2},
    {"～", 2},
    {"―", 2},
    {"TWELVE.BYTES", 12},
    // A rule refuses these, or may, alone or joined to others.
    {"CON", 0},
    {"nul", 0},
    {"COM", 0},
    {"1", 0},
    {":", 0},
    {"?", 0},
    {"*", 0},
    {"<", 0},
    {" ", 0},
    {".", 0},
    {"..", 0},
    {"\\", 0},
    {"〜", 0},
    {"−", 0},
    {"¢", 0},
    {"😀", 0},
    {"é", 0},
    {"纊", 0},
    {"ⅰ", 0},
    {"\x7F", 0},
    {"\x01", 0},
    {"\xE8\xA1", 0},
};
constexpr std::size_t kPieceCount = sizeof kPieces / sizeof kPieces[0];

// create flushes each archive to disk: on a tmpfs that costs nothing.
std::string Base() {
  return fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp";
}

struct Workspace {
  std::string root = FreshWorkspace("mgarc-create-fuzz", Base());
  std::string tree = root + "/tree";
  std::string archives = root + "/archives";  // nothing else may appear here
  std::string archive = archives + "/new.dat";
  std::string again = archives + "/again.dat";
  std::string order = root + "/order.txt";
  std::string out = root + "/out";
  std::string printed = root + "/stdout.txt";
};

const Workspace& Space() {
  static const Workspace space;
  return space;
}

// Runs mgarc with standard output going to a file; returns what it printed.
int Run(const std::vector<std::string>& arguments, std::string* printed = nullptr) {
  const Workspace& space = Space();
  if (std::freopen(space.printed.c_str(), "w", stdout) == nullptr) std::abort();
  int status = static_cast<int>(RunMgarc(arguments));
  std::fflush(stdout);
  if (printed != nullptr) *printed = ReadFile(space.printed);
  return status;
}

// A file made from raw bytes as a name; false when the system holds no such
// file (a component that is "." or "..", a file already there, a file where a
// directory is needed).
bool MakeFile(const std::string& root, const std::vector<std::string>& components,
              const std::string& bytes) {
  std::string path = root;
  for (std::size_t i = 0; i < components.size(); ++i) {
    if (components[i] == "." || components[i] == "..") return false;
    path += "/" + components[i];
    if (i + 1 < components.size()) {
      if (mkdir(path.c_str(), 0777) != 0 && errno != EEXIST) return false;
    }
  }
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) return false;
  bool whole = write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size());
  close(fd);
  if (!whole) std::abort();
  return true;
}

// The files below root, by '/'-joined relative name.
std::map<std::string, std::string> Files(const std::string& root) {
  std::map<std::string, std::string> files;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator();
       ++it) {
    if (it->is_regular_file()) {
      files[it->path().lexically_relative(root).string()] = ReadFile(it->path().string());
    }
  }
  return files;
}

std::vector<std::string> Names(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& item : fs::directory_iterator(directory)) {
    names.push_back(item.path().filename().string());
  }
  return names;
}

std::uint64_t Le(const std::string& bytes, std::size_t at, int count) {
  std::uint64_t value = 0;
  for (int i = count - 1; i >= 0; --i) {
    value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

// The layout create promises, checked from the bytes alone.
void CheckLayout(const std::string& archive, const std::string& magic,
                 const std::map<std::string, std::string>& files) {
  if (archive.size() < 16 || archive.compare(0, 5, magic) != 0) std::abort();
  for (std::size_t at : {5, 6, 7, 14, 15}) {
    if (archive[at] != 0) std::abort();
  }
  const std::uint64_t count = Le(archive, 8, 2);
  const std::uint64_t directory = Le(archive, 10, 4);
  std::uint64_t data = 0;
  for (const auto& file : files) data += file.second.size();
  if (count != files.size() || directory != 16 + data) std::abort();
  if (archive.size() != directory + 16 * count) std::abort();
  std::string previous;
  std::uint64_t offset = 16;
  std::multiset<std::string> contents;
  for (const auto& file : files) contents.insert(file.second);
  for (std::uint64_t i = 0; i < count; ++i) {
    const std::size_t record = static_cast<std::size_t>(directory + 16 * i);
    std::string name = archive.substr(record, 12);
    name.resize(std::strlen(name.c_str()));
    if (name.empty() || (i > 0 && !(previous < name))) std::abort();  // sorted by stored bytes
    previous = name;
    const std::uint64_t size = Le(archive, record + 12, 4);
    auto found = contents.find(archive.substr(static_cast<std::size_t>(offset), size));
    if (found == contents.end()) std::abort();  // each entry's data is one file's bytes
    contents.erase(found);
    offset += size;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const Workspace& space = Space();
  FuzzedDataProvider input(data + 1, size - 1);
  const int workers = (data[0] & 3) + 1;
  const std::string magic = (data[0] & 4) != 0 ? "ZEL00" : "VIZ00";
  const bool oldArchive = (data[0] & 8) != 0;
  const bool large = (data[0] & 16) != 0;

  fs::remove_all(space.tree);
  fs::remove_all(space.archives);
  fs::remove_all(space.out);
  fs::create_directories(space.tree);
  fs::create_directories(space.archives);
  const std::string oldBytes = "an archive that must stay as it is unless replaced whole";
  if (oldArchive) WriteFile(space.archive, oldBytes);

  std::map<std::string, std::string> files;
  bool plainlyValid = true;
  std::map<std::string, std::string> folded;  // ASCII-folded path -> path
  const int fileCount = input.ConsumeIntegralInRange(0, 6);
  for (int f = 0; f < fileCount && input.remaining_bytes() > 0; ++f) {
    const int depth = input.ConsumeIntegralInRange(1, 3);
    std::vector<std::string> components;
    bool valid = true;
    int storedBytes = depth - 1;  // the separators
    for (int level = 0; level < depth; ++level) {
      std::string component;
      const int pieces = input.ConsumeIntegralInRange(1, 3);
      for (int p = 0; p < pieces; ++p) {
        const std::size_t which = input.ConsumeIntegralInRange<std::size_t>(0, kPieceCount);
        if (which == kPieceCount) {
          // Bytes straight from the input; '/' and NUL cannot be in a name.
          std::string raw = input.ConsumeRandomLengthString(4);
          if (raw.empty()) raw = "\x80";
          for (char& c : raw) {
            if (c == '/' || c == '\0') c = '\x80';
          }
          component += raw;
          valid = false;
        } else {
          component += kPieces[which].utf8;
          storedBytes += kPieces[which].storedBytes;
          valid = valid && kPieces[which].storedBytes > 0;
        }
      }
      components.push_back(component);
    }
    std::string bytes = input.ConsumeRandomLengthString(200);
    if (large && f == 0) {
      // Past the size below which the copy goes through the buffer.
      bytes += std::string(70000, 'L') + bytes;
    }
    if (!MakeFile(space.tree, components, bytes)) continue;
    std::string relative = components[0];
    for (std::size_t i = 1; i < components.size(); ++i) relative += "/" + components[i];
    files[relative] = bytes;
    plainlyValid = plainlyValid && valid && storedBytes <= 12;
    // Two names one file on Windows, or one a file and the other's directory there.
    std::string key = relative;
    for (char& c : key) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    for (const auto& [other, otherPath] : folded) {
      if (other == key || other.rfind(key + "/", 0) == 0 || key.rfind(other + "/", 0) == 0) {
        plainlyValid = false;
      }
    }
    folded.emplace(key, relative);
  }

  const std::string jobs = std::to_string(workers);
  int status = Run({"mgarc", "create", "-q", "--force", "-j", jobs, "--magic", magic, space.archive,
                    space.tree});
  if (status != 0 && status != 2) std::abort();
  if (plainlyValid && status != 0) std::abort();
  std::vector<std::string> beside = Names(space.archives);
  if (status == 2) {
    // Nothing written: no temporary file, and the old archive as it was.
    if (beside.size() != (oldArchive ? 1u : 0u)) std::abort();
    if (oldArchive && ReadFile(space.archive) != oldBytes) std::abort();
    return 0;
  }
  if (beside.size() != 1) std::abort();
  const std::string archive = ReadFile(space.archive);
  CheckLayout(archive, magic, files);

  if (Run({"mgarc", "verify", space.archive}) != 0) std::abort();
  if (Run({"mgarc", "extract", "-q", "-C", space.out, space.archive}) != 0) std::abort();
  if (Files(space.out) != files) std::abort();

  std::string names;
  if (Run({"mgarc", "list", "--names", space.archive}, &names) != 0) std::abort();
  WriteFile(space.order, names);
  const std::string otherJobs = std::to_string(5 - workers);
  if (Run({"mgarc", "create", "-q", "--force", "-j", otherJobs, "--magic", magic, "--order",
           space.order, space.again, space.tree}) != 0) {
    std::abort();
  }
  if (ReadFile(space.again) != archive) std::abort();
  if (Names(space.archives).size() != 2) std::abort();
  return 0;
}
