#include <cstdio>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/entry_sums.h"
#include "platform/console.h"

namespace mgarc::cli {
using namespace engine;

namespace {

using Json = nlohmann::ordered_json;

// As the whole document's dump(2) would give it: each entry's object is made
// and written in turn, so that no list of every entry is held.
std::string Dumped(const Json& value) {
  // A path given in bytes that are not UTF-8 still gives a valid document.
  return value.dump(2, ' ', false, Json::error_handler_t::replace);
}

void WriteListJson(const ArchiveView& archive) {
  std::string out = "{\n";
  const std::pair<const char*, Json> fields[] = {{"archive", archive.path},
                                                 {"magic", archive.magic},
                                                 {"entry_count", archive.entryCount},
                                                 {"directory_offset", archive.directoryOffset},
                                                 {"file_size", archive.fileSize}};
  for (const auto& [key, value] : fields) out += "  " + Dumped(key) + ": " + Dumped(value) + ",\n";
  out += "  \"entries\": [";
  WriteUtf8(TextStream::kOut, out);
  const char* separator = "\n";
  for (const ArchiveEntry& entry : archive.entries) {
    Json name = nullptr;
    if (std::optional<std::string_view> decoded = entry.decoded()) {
      std::string slashed(*decoded);
      for (char& c : slashed) {
        if (c == '\\') c = '/';
      }
      name = slashed;
    }
    const Json object = {{"index", entry.index},
                         {"name", name},
                         {"stored_name", LowerHex(entry.stored())},
                         {"offset", entry.offset},
                         {"size", entry.size}};
    // Two levels in: each of its lines indented by four more.
    out = separator;
    const std::string dumped = Dumped(object);
    out += "    ";
    for (char c : dumped) {
      out += c;
      if (c == '\n') out += "    ";
    }
    WriteUtf8(TextStream::kOut, out);
    separator = ",\n";
  }
  WriteUtf8(TextStream::kOut, archive.entries.empty() ? "]\n}\n" : "\n  ]\n}\n");
}

void WriteListTable(const ArchiveView& archive) {
  WriteUtf8(TextStream::kOut, "  index        size      offset  name\n");
  std::uint64_t total = 0;
  char columns[64];
  std::string line;
  for (const ArchiveEntry& entry : archive.entries) {
    std::snprintf(columns, sizeof columns, "%7d %11u %11llu  ", entry.index, entry.size,
                  static_cast<unsigned long long>(entry.offset));
    line = columns;
    line += entry.shown();
    line += '\n';
    WriteUtf8(TextStream::kOut, line);
    total += entry.size;
  }
  WriteUtf8(TextStream::kOut, std::to_string(archive.entries.size()) +
                                  (archive.entries.size() == 1 ? " entry, " : " entries, ") +
                                  std::to_string(total) + " bytes\n");
}

// Each entry's sum, in order as they come from every core.
ExitStatus ListSums(const ListOptions& options, const ArchiveView& archive) {
  PrintingObserver observer(true, true);
  EntrySums sums = HashEntries(archive, options.workers, true, observer);
  observer.Finish();
  if (ReportRefusal(sums.refused) || sums.stopped) return ExitStatus::kStopped;
  if (!FlushText(TextStream::kOut)) return ExitStatus::kStopped;
  for (const ArchiveEntry& entry : archive.entries) {
    if (entry.present < entry.size) return ExitStatus::kIncomplete;
  }
  return ExitStatus::kDone;
}

}  // namespace

ExitStatus RunList(const ListOptions& options) {
  ArchiveView archive;
  if (!OpenArchive(options.archive, archive)) return ExitStatus::kStopped;
  if (options.sha256) return ListSums(options, archive);
  if (options.json) {
    WriteListJson(archive);
  } else if (options.names) {
    const char end = options.nul ? '\0' : '\n';
    for (const ArchiveEntry& entry : archive.entries) {
      WriteUtf8(TextStream::kOut, entry.shown() + end);
    }
  } else {
    WriteListTable(archive);
  }
  return FlushText(TextStream::kOut) ? ExitStatus::kDone : ExitStatus::kStopped;
}

}  // namespace mgarc::cli
