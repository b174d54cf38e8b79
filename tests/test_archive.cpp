#include "test_archive.h"

#include <dirent.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace {

void PutLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void Walk(const std::string& root, const std::string& relative, std::vector<std::string>& out) {
  DIR* dir = opendir((root + "/" + relative).c_str());
  if (dir == nullptr) return;
  while (dirent* item = readdir(dir)) {
    std::string name = item->d_name;
    if (name == "." || name == "..") continue;
    std::string path = relative.empty() ? name : relative + "/" + name;
    struct stat info {};
    lstat((root + "/" + path).c_str(), &info);
    if (S_ISDIR(info.st_mode)) {
      out.push_back(path + "/");
      Walk(root, path, out);
    } else {
      out.push_back(path);
    }
  }
  closedir(dir);
}

}  // namespace

std::string TestArchive::Bytes() const {
  std::string data;
  for (const TestEntry& entry : entries) data += entry.data;
  std::uint64_t directoryOffset = directoryOffsetOverride >= 0
                                      ? static_cast<std::uint64_t>(directoryOffsetOverride)
                                      : 16 + data.size();
  std::uint64_t count =
      entryCountOverride >= 0 ? static_cast<std::uint64_t>(entryCountOverride) : entries.size();
  std::string out = magic.substr(0, 5);
  out.resize(5, '\0');
  out.append(3, '\0');
  PutLe(out, count, 2);
  PutLe(out, directoryOffset, 4);
  out.append(2, '\0');
  out += data;
  std::string directory;
  for (const TestEntry& entry : entries) {
    std::string name = entry.name.substr(0, 12);
    name.resize(12, '\0');
    directory += name;
    PutLe(directory, entry.data.size(), 4);
  }
  if (directoryOffset >= out.size()) {
    out.resize(static_cast<std::size_t>(directoryOffset), '\0');
    out += directory;
  }
  return out;
}

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base != nullptr ? base : "/tmp") + "/marrowgilder-test-XXXXXX";
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  // Give back write permission first, so that read-only directories can be emptied.
  nftw(
      path_.c_str(),
      [](const char* p, const struct stat* s, int type, FTW*) {
        if (type == FTW_D) chmod(p, s->st_mode | S_IRWXU);
        return 0;
      },
      16, FTW_PHYS);
  nftw(
      path_.c_str(), [](const char* p, const struct stat*, int, FTW*) { return remove(p); }, 16,
      FTW_DEPTH | FTW_PHYS);
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool PathExists(const std::string& path) {
  struct stat info {};
  return lstat(path.c_str(), &info) == 0;
}

std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> out;
  Walk(root, "", out);
  std::sort(out.begin(), out.end());
  return out;
}

std::string PatternBytes(std::size_t n, unsigned seed) {
  std::string out(n, '\0');
  std::uint32_t state = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < n; ++i) {
    state = state * 1103515245u + 12345u;
    out[i] = static_cast<char>(state >> 24);
  }
  return out;
}
