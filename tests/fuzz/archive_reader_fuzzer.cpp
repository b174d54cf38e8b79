// Fuzzes the archive reader: any file must read without a fault, and the
// spans it derives must tile the data from byte 16 on.
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "archive/archive_format.h"
#include "fuzz_workspace.h"
#include "marrowgilder/engine/name_table.h"
#include "platform/file_stream.h"
#include "test_archive.h"

namespace {

std::string ArchivePath() {
  static const std::string path = FreshWorkspace("marrowgilder-reader-fuzz") + "/input.dat";
  return path;
}

DirectoryRecord records[kMarrowgilderEntryLimit];

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  WriteFile(ArchivePath(), std::string(reinterpret_cast<const char*>(data), size));
  for (const char* magic : {"VIZ00", "ZEL00"}) {
    InputFile archive;
    if (!archive.Open(ArchivePath().c_str())) std::abort();
    ArchiveHeader header{};
    if (ReadArchiveHeader(archive, magic, header) != HeaderCheck::kOk) continue;
    if (std::memcmp(data, magic, 5) != 0) std::abort();  // only the exact magic passes
    std::memset(records, 0xA5, sizeof records);
    ReadDirectory(archive, header, records, kMarrowgilderEntryLimit);
    const int count =
        header.entryCount < kMarrowgilderEntryLimit ? header.entryCount : kMarrowgilderEntryLimit;
    std::uint32_t start = kFirstEntryOffset;
    for (int i = 0; i < count; ++i) {
      const DirectoryRecord& record = records[i];
      if (std::strlen(record.entry.name) > static_cast<std::size_t>(kNameFieldSize)) std::abort();
      if (record.span.start != start) std::abort();
      if (record.span.end != static_cast<std::uint32_t>(start + record.entry.size)) std::abort();
      start = record.span.end;
    }
  }
  return 0;
}
