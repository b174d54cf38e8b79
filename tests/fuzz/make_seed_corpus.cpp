// Writes the fuzzers' seed corpora from archives made the way the tests make
// them: one directory for the reader, one (with the reply line) for the run,
// one for mgarc's verify and list, one (with a byte that picks the workers)
// for mgarc's extraction, and inputs for mgarc's creation, which makes its
// trees from any bytes.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "test_archive.h"

namespace {

// A file of fileSize pattern bytes with a header and the records at
// directoryOffset, whatever the sizes say: directories inside the data, gaps,
// data past the end.
std::string Laid(const std::vector<std::pair<std::string, std::uint32_t>>& records,
                 std::uint32_t directoryOffset, std::size_t fileSize) {
  std::string out = PatternBytes(fileSize, 7);
  out.replace(0, 16, TestArchive::Header("VIZ00", records.size(), directoryOffset));
  for (std::size_t i = 0; i < records.size(); ++i) {
    std::size_t at = directoryOffset + 16 * i;
    if (out.size() < at + 16) out.resize(at + 16, '\0');
    out.replace(at, 16, TestArchive::Record(records[i].first, records[i].second));
  }
  return out;
}

// Archives that show what mgarc judges and refuses: one per finding, more or less.
std::vector<std::string> MgarcArchives() {
  std::vector<std::string> out;
  auto add = [&out](const TestArchive& archive) { out.push_back(archive.Bytes()); };
  // Japanese names in directories, one whose second byte is 5C, an undecodable
  // one, one that does not encode back (ED 40).
  add({"VIZ00",
       {{"\x89\xB9\x90\xBA\\\x90\xBA.TXT", "voice"},
        {"\x95\x5C\\\x83\x5C.TXT", "so"},
        {"\x81\x20"
         "BAD",
         "x"},
        {"\xED\x40.TXT", "nec"}}});
  add({"ZEL00",
       {{"..\\X", "x"}, {"C:Y", "y"}, {"/Z", "z"}, {"A\\..\\..\\B", "b"}, {". .\\C", "c"}}});
  // A lead byte before '/', as into the links of those names.
  add({"VIZ00", {{"\x81/PWN", "p"}, {"SE\x81/PWN2", "q"}, {"\x81/..\\..\\R", "r"}}});
  add({"VIZ00",
       {{"CON.TXT", "1"},
        {"A:B", "2"},
        {"A<B|C", "3"},
        {"DIR.\\X", "4"},
        {"X ", "5"},
        {"COM1", "6"},
        {"CONIN$", "7"},
        {"\x01", "8"}}});
  add({"VIZ00",
       {{"A.TXT", "first"},
        {"a.txt", "second"},
        {"A.TXT", "third"},
        {"SE", "file"},
        {"se\\A.WAV", "in"},
        {"BGM\\X", "x"},
        {"BGM", "dir"}}});
  std::string reserved = TestArchive{"VIZ00", {{"A", "a"}}}.Bytes();
  reserved[6] = 1;
  reserved[15] = 2;
  out.push_back(reserved);
  out.push_back(TestArchive{"ZEL00", {{"A", "abc"}}}.Bytes() + "after");
  out.push_back(Laid({{"A", 4}, {"B", 4}}, 64, 96));   // gap before the directory
  out.push_back(Laid({{"A", 40}, {"B", 8}}, 32, 64));  // data runs into it
  out.push_back(Laid({{"A", 8}, {"B", 0xFFFFFFF0u}, {"C", 16}}, 24, 72));  // past the end
  out.push_back(Laid({}, 16, 16));
  return out;
}

// Archives that aim at the links the extraction fuzzer lays in its output
// directory (SE to the directory above, SENT.TXT to the sentinel there), and
// at the workers: many entries, duplicates, names that clash.
std::vector<std::string> ExtractionArchives() {
  std::vector<std::string> out;
  out.push_back(TestArchive{
      "VIZ00",
      {{"SE\\SENT.TXT", "through a directory link"},
       {"SENT.TXT", "in place of a file link"},
       {"SE\\NEW.TXT", "beside the sentinel"},
       {"..\\SENT.TXT", "up"},
       {"SE\\..\\X",
        "x"}}}.Bytes());
  TestArchive many;
  for (int i = 0; i < 150; ++i) {
    std::string name = "D" + std::to_string(i % 5) + "\\F" + std::to_string(i % 120);
    many.entries.push_back({name, PatternBytes(static_cast<std::size_t>(i % 13), i)});
  }
  many.entries.push_back({"D1\\F1\\X", "needs a file as a directory"});
  many.entries.push_back({"D2", "a file where a directory is"});
  out.push_back(many.Bytes());
  out.push_back(Laid({{"A\\B", 8}, {"A\\C", 0x7FFFFFFF}}, 32, 80));
  return out;
}

// The creation fuzzer's inputs: a flags byte, then bytes it draws numbers
// (from the end) and names and contents (from the front) out of; names in
// UTF-8 among them, so that raw names hold Japanese too.
std::vector<std::string> CreationInputs() {
  std::vector<std::string> out;
  const char flags[] = {0, 1, 3, 6, 10, 17, 27};
  const char* texts[] = {"A.TXT",       "\xe8\xa1\xa8\xe3\x82\xbd.TXT",
                         "SE/DOOR.WAV", "\xe9\x9f\xb3\xe5\xa3\xb0/\xef\xbd\x9e\xe2\x80\x95",
                         "CON",         "a.txt"};
  std::uint32_t state = 12345;
  for (std::size_t i = 0; i < 21; ++i) {
    std::string input(1, flags[i % sizeof flags]);
    input += texts[i % (sizeof texts / sizeof texts[0])];
    const std::size_t length = 32 + 24 * i;
    while (input.size() < length) {
      state = state * 1103515245u + 12345u;
      input.push_back(static_cast<char>(state >> 24));
    }
    out.push_back(input);
  }
  return out;
}

// The patch fuzzer's inputs: OLD's length in two bytes, OLD, then NEW; pairs
// of archives, each also paired with itself; and each archive to be edited.
std::vector<std::string> PatchInputs(const std::vector<std::string>& plain,
                                     const std::vector<std::string>& mgarc) {
  std::vector<std::string> archives = plain;
  for (const std::string& archive : mgarc) {
    if (archive.size() < 4096) archives.push_back(archive);
  }
  std::vector<std::string> out;
  for (std::size_t i = 0; i < archives.size(); ++i) {
    for (std::size_t j : {i, (i + 1) % archives.size()}) {
      const std::string& before = archives[i];
      std::string input;
      input += static_cast<char>(before.size() & 0xFF);
      input += static_cast<char>(before.size() >> 8);
      out.push_back(input + before + archives[j]);
    }
    // The same archive, edited as the seed says.
    out.push_back(std::string{static_cast<char>(i & 0xFF), '\x80'} + archives[i]);
  }
  return out;
}

void WriteAll(const std::string& directory, const std::string& prefix,
              const std::vector<std::string>& seeds) {
  for (std::size_t i = 0; i < seeds.size(); ++i) {
    WriteFile(directory + "/" + prefix + std::to_string(i), seeds[i]);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 7) {
    std::fprintf(stderr,
                 "usage: make_seed_corpus READER-DIR RUN-DIR VERIFY-DIR EXTRACT-DIR CREATE-DIR "
                 "PATCH-DIR\n");
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
  std::vector<std::string> plain;
  for (std::size_t i = 0; i < archives.size(); ++i) {
    std::string bytes = archives[i].Bytes();
    plain.push_back(bytes);
    WriteFile(std::string(argv[1]) + "/seed-" + std::to_string(i), bytes);
    WriteFile(std::string(argv[2]) + "/seed-" + std::to_string(i),
              replies[i % (sizeof replies / sizeof replies[0])] + bytes);
  }
  std::vector<std::string> mgarc = MgarcArchives();
  WriteAll(argv[3], "seed-", plain);
  WriteAll(argv[3], "mgarc-", mgarc);
  // The first byte: workers 1-4 in bits 0-1, -k in bit 2.
  std::vector<std::string> extraction = ExtractionArchives();
  extraction.insert(extraction.end(), mgarc.begin(), mgarc.end());
  extraction.insert(extraction.end(), plain.begin(), plain.end());
  for (std::size_t i = 0; i < extraction.size(); ++i) {
    const char flags[] = {3, 1, 0, 7, 2, 5};
    extraction[i].insert(0, 1, flags[i % sizeof flags]);
  }
  WriteAll(argv[4], "seed-", extraction);
  WriteAll(argv[5], "seed-", CreationInputs());
  WriteAll(argv[6], "seed-", PatchInputs(plain, mgarc));
  return 0;
}
