// Writes the fuzzers' seed corpora from archives made the way the tests make
// them: one directory for the reader, one (with the reply line) for the run.
#include <cstdio>
#include <string>
#include <vector>

#include "test_archive.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_seed_corpus READER-DIR RUN-DIR\n");
    return 2;
  }
  std::vector<TestArchive> archives = {
      {"VIZ00", {{"A.TXT", "abc"}, {"B.TXT", "de"}}},
      {"ZEL00", {{"SE\\A.WAV", "a"}, {"BGM\\B.OGG", std::string(300, 'b')}, {"C", ""}}},
      {"VIZ00", {{"\x89\xB9\x90\xBA\\\x90\xBA.TXT", "voice"}, {"\x95\x5C\\\x83\x5C.TXT", "so"}}},
      {"VIZ00", {{"..\\X", "x"}, {"C:Y", "y"}, {"\\Z", "z"}, {"ABCDEFGHIJKL", "twelve"}}},
      {"VIZ00", {}},
  };
  TestArchive cutShort{"VIZ00", {{"A", "a"}, {"B", "b"}}};
  cutShort.entryCountOverride = 4;
  archives.push_back(cutShort);
  TestArchive farDirectory{"VIZ00", {{"A", "a"}}};
  farDirectory.directoryOffsetOverride = 64;
  archives.push_back(farDirectory);

  const char* replies[] = {"1\n", "2\n", "0\n", "  3x\n", "\n", "-1\n"};
  for (std::size_t i = 0; i < archives.size(); ++i) {
    std::string bytes = archives[i].Bytes();
    WriteFile(std::string(argv[1]) + "/seed-" + std::to_string(i), bytes);
    WriteFile(std::string(argv[2]) + "/seed-" + std::to_string(i),
              replies[i % (sizeof replies / sizeof replies[0])] + bytes);
  }
  return 0;
}
