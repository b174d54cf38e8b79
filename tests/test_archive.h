// Archives, directories and files made by the tests themselves.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct TestEntry {
  std::string name;  // stored bytes (code page 932), at most 12
  std::string data;
};

// Lays out an archive: header, entry data from byte 16, then the directory.
// Fields left at their defaults follow from the entries.
struct TestArchive {
  std::string magic = "VIZ00";
  std::vector<TestEntry> entries;
  int entryCountOverride = -1;  // header count differing from the records
  std::int64_t directoryOffsetOverride = -1;
  std::string Bytes() const;

  // The 16-byte header and one 16-byte directory record as Bytes() lays them
  // out, for the few archives that must be laid out some other way (sparse,
  // or with records that disagree with the data).
  static std::string Header(const std::string& magic, std::uint64_t entryCount,
                            std::uint64_t directoryOffset);
  static std::string Record(const std::string& name, std::uint64_t size);
};

// A fresh directory under the system's temporary directory, removed with all
// it holds when the object goes.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& path() const { return path_; }
  // A path inside, with '/' in name turned into the host's separator.
  std::string operator/(const std::string& name) const;

 private:
  std::string path_;
};

void WriteFile(const std::string& path, const std::string& bytes);
std::string ReadFile(const std::string& path);
bool PathExists(const std::string& path);
// Every path below root, relative and sorted, directories ending in "/".
std::vector<std::string> ListTree(const std::string& root);
// Bytes 0..n-1 of a repeating pattern that shows misplaced offsets.
std::string PatternBytes(std::size_t n, unsigned seed = 1);
// Code page 932 by Microsoft's table, or "<not code page 932>".
std::string Utf8ToCp932(const std::string& utf8);
