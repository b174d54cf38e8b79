// Writes the sample archive that `make demo` extracts: a few text entries,
// some under Japanese directory names, as the games' archives store them.
#include <cstdio>
#include <string>

#include "test_archive.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_sample_archive OUTPUT\n");
    return 2;
  }
  TestArchive archive;
  archive.magic = "VIZ00";
  archive.entries = {
      {"README.TXT", "Marrowgilder sample archive: five entries, three directories.\n"},
      {"SE\\DOOR.WAV", "(a door opens)\n"},
      {"SE\\STEP.WAV", "(footsteps)\n"},
      // 音声\声.TXT: voice\line.TXT
      {"\x89\xB9\x90\xBA\\\x90\xBA.TXT",
       "\xE3\x81\x93\xE3\x82\x93\xE3\x81\xB0\xE3\x82\x93\xE3\x81\xAF\n"},
      // 表\ソ.TXT: both characters end in the byte 0x5C, which is no separator here.
      {"\x95\x5C\\\x83\x5C.TXT", "table / so\n"},
  };
  WriteFile(argv[1], archive.Bytes());
  return 0;
}
