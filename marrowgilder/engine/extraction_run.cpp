// One extraction run, from the archive's path to a tree of files.
//
// How it works: it first takes memory for every output path (one slot per
// possible entry), then reads and checks the header and the directory, and
// builds each entry's output path from the output directory and its stored
// name. Only then does it ask at which entry to begin, make the directories,
// and copy the entries from there to the end, one line of progress each.
// Any failure before the copying stops the run with a message box, shown
// after everything the run took is given back; a failed entry only makes
// the run end with "some not written".

#include "marrowgilder/engine/extraction_run.h"

#include <cstdint>
#include <cstdio>

#include "archive/archive_format.h"
#include "archive/path_rules.h"
#include "archive/stored_names.h"
#include "marrowgilder/engine/directory_creation.h"
#include "marrowgilder/engine/entry_copy.h"
#include "marrowgilder/engine/name_table.h"
#include "marrowgilder/engine/output_paths.h"
#include "marrowgilder/engine/start_reply.h"
#include "platform/console.h"
#include "platform/file_stream.h"
#include "platform/message_box.h"
#include "platform/text_conversion.h"

namespace marrowgilder::engine {

namespace {

// A failure that ends the run, shown once everything it held is released.
struct Report {
  const char* text = nullptr;
  const char* title = nullptr;
  char composed[128] = {};
};

RunOutcome Stop(Report& report, const char* text, const char* title) {
  report.text = text;
  report.title = title;
  return RunOutcome::kStopped;
}

// Fills slot i with the output prefix and the entry's name as the host writes it.
bool FillSlot(NameTable& table, int i, const char* prefix, const char* storedName,
              StoredNameConverter& converter) {
  char mapped[kNameFieldSize + 1];
  MapStoredSeparators(storedName, kHostRules.separator, mapped);
  char hostName[kSlotSize];
  table.refusal[i] = CheckStoredName(storedName, kHostRules);
  return converter.ToHost(mapped, hostName, sizeof hostName) &&
         JoinPath(prefix, hostName, table.slots[i].chars(), kSlotSize);
}

const char* RefusalReason(NameRefusal refusal) {
  switch (refusal) {
    case NameRefusal::kLeavesOutput:
      return "the name leads out of the output directory";
    case NameRefusal::kDevice:
      return "the name is a device, not a file";
    case NameRefusal::kStream:
      return "the name holds a ':', which makes a stream of another file";
    case NameRefusal::kNone:
      break;
  }
  return "";
}

void PrintProgress(int number, int entryCount, const char* slotPath, NameRefusal refusal) {
  char path[kSlotSize];
  ShownPath(slotPath, kHostRules, path);
  char line[kSlotSize + 128];
  if (refusal != NameRefusal::kNone) {
    std::snprintf(line, sizeof line, "Skipped : No.% 4d/% 4d -->%s: %s\n", number, entryCount, path,
                  RefusalReason(refusal));
    WriteErr(line);
  } else {
    std::snprintf(line, sizeof line, "Loading : No.% 4d/% 4d -->%s\n", number, entryCount, path);
    WriteOut(line);
  }
}

// Everything the run holds lives in this call, so every way out releases it
// before the caller shows the report.
RunOutcome Run(const char* archivePath, const char* outputDirectory, const char* magic,
               Report& report) {
  WriteOut("MemAllocating");
  NameTable table{};
  for (int k = 0; k < kMarrowgilderEntryLimit; ++k) {
    table.slots[k] = ZeroBlock(kSlotSize, BlockHeap::kLocal);
    if (!table.slots[k].ok()) return Stop(report, "Memory Failed!", "Error");
    if (k % 100 == 0) WriteOut(".");
  }
  WriteOut("Done!\n");

  if (!FileExists(archivePath)) return Stop(report, "File Not Found!", "Error!");
  InputFile archive;
  if (!archive.Open(archivePath)) return Stop(report, "File Open Error!", "Err");
  ArchiveHeader header{};
  switch (ReadArchiveHeader(archive, magic, header)) {
    case HeaderCheck::kFamilyMarkMissing:
      return Stop(report, "Invalid File Format!", "Err");
    case HeaderCheck::kMagicDiffers:
      return Stop(report, "This File Is No Supported!", "Err");
    case HeaderCheck::kOk:
      break;
  }
  const int entryCount = header.entryCount;
  if (entryCount > kMarrowgilderEntryLimit) {
    std::snprintf(report.composed, sizeof report.composed,
                  "Too Many Entries! (%d in the archive, at most %d)", entryCount,
                  kMarrowgilderEntryLimit);
    return Stop(report, report.composed, "Err");
  }
  char prefix[kSlotSize];
  if (!BuildOutputPrefix(outputDirectory, kHostRules, prefix, sizeof prefix)) {
    return Stop(report, "Output Path Too Long!", "Err");
  }
  ZeroBlock records(sizeof(DirectoryRecord) * kMarrowgilderEntryLimit, BlockHeap::kLocal);
  if (!records.ok()) return Stop(report, "Memory Failed!", "Error");
  DirectoryRecord* directory = records.as<DirectoryRecord>();
  ReadDirectory(archive, header, directory, kMarrowgilderEntryLimit);
  StoredNameConverter converter;
  for (int i = 0; i < entryCount; ++i) {
    if (!FillSlot(table, i, prefix, directory[i].entry.name, converter)) {
      return Stop(report, "Output Path Too Long!", "Err");
    }
  }

  char prompt[160];
  std::snprintf(prompt, sizeof prompt,
                "%d個のデータが見つかりました。\n何番目のデータから抽出をはじめますか？\n",
                entryCount);
  WriteOutSystemText(prompt);
  FlushOut();
  const std::int64_t first = ReadStartReply();

  RunDirectoryPass(table, entryCount, kHostRules);

  if (first <= 0) return Stop(report, "Index UnderFlow!", "Fatal-Err");
  if (first > entryCount) return Stop(report, "Index Over Flow!", "Fatal-Err");

  RunOutcome outcome = RunOutcome::kAllWritten;
  for (int i = static_cast<int>(first) - 1; i < entryCount; ++i) {
    PrintProgress(i + 1, entryCount, SlotPath(table, i), table.refusal[i]);
    if (table.refusal[i] != NameRefusal::kNone ||
        CopyByteRange(directory[i].span.start, directory[i].span.end, archivePath,
                      SlotPath(table, i)) != kCopyDone) {
      outcome = RunOutcome::kSomeNotWritten;
    }
  }
  return outcome;
}

}  // namespace

bool FileExists(const char* path) {
  return PathNamesFile(path);
}

RunOutcome ExtractArchive(const char* archivePath, const char* outputDirectory, const char* magic) {
  Report report;
  RunOutcome outcome = Run(archivePath, outputDirectory, magic, report);
  if (report.text != nullptr) ShowMessageBox(report.text, report.title);
  return outcome;
}

}  // namespace marrowgilder::engine
