#include "test_archive.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "archive/path_rules.h"

namespace fs = std::filesystem;

namespace {

void PutLe(std::string& out, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

}  // namespace

std::string TestArchive::Header(const std::string& magic, std::uint64_t entryCount,
                                std::uint64_t directoryOffset) {
  std::string out = magic.substr(0, 5);
  out.resize(5, '\0');
  out.append(3, '\0');
  PutLe(out, entryCount, 2);
  PutLe(out, directoryOffset, 4);
  out.append(2, '\0');
  return out;
}

std::string TestArchive::Record(const std::string& name, std::uint64_t size) {
  std::string out = name.substr(0, 12);
  out.resize(12, '\0');
  PutLe(out, size, 4);
  return out;
}

std::string TestArchive::Bytes() const {
  std::string data;
  for (const TestEntry& entry : entries) data += entry.data;
  std::uint64_t directoryOffset = directoryOffsetOverride >= 0
                                      ? static_cast<std::uint64_t>(directoryOffsetOverride)
                                      : 16 + data.size();
  std::uint64_t count =
      entryCountOverride >= 0 ? static_cast<std::uint64_t>(entryCountOverride) : entries.size();
  std::string out = Header(magic, count, directoryOffset) + data;
  std::string directory;
  for (const TestEntry& entry : entries) directory += Record(entry.name, entry.data.size());
  if (directoryOffset >= out.size()) {
    out.resize(static_cast<std::size_t>(directoryOffset), '\0');
    out += directory;
  }
  return out;
}

TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate =
        fs::temp_directory_path() / ("marrowgilder-test-" + std::to_string(random()));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      // Without a trailing separator, in the host's spelling.
      path_ = candidate.string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary directory");
}

TempDir::~TempDir() {
  std::error_code error;
  // Give back write permission first, so that read-only directories can be emptied.
  for (auto it = fs::recursive_directory_iterator(path_, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_directory(error))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, error);
  }
  fs::remove_all(path_, error);
}

std::string TempDir::operator/(const std::string& name) const {
  std::string path = path_ + kHostRules.separator + name;
  std::replace(path.begin() + static_cast<std::ptrdiff_t>(path_.size()), path.end(), '/',
               kHostRules.separator);
  return path;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream out(fs::u8path(path), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(fs::u8path(path), std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

bool PathExists(const std::string& path) {
  std::error_code error;
  return fs::exists(fs::symlink_status(fs::u8path(path), error));
}

std::vector<std::string> ListTree(const std::string& root) {
  std::vector<std::string> out;
  std::error_code error;
  const fs::path base = fs::u8path(root);
  for (auto it = fs::recursive_directory_iterator(base, error);
       !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    std::string relative = it->path().lexically_relative(base).generic_u8string();
    out.push_back(it->is_directory(error) ? relative + "/" : relative);
  }
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
