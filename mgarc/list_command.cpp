#include <cstdio>
#include <nlohmann/json.hpp>

#include "mgarc/archive_view.h"
#include "mgarc/commands.h"
#include "platform/console.h"

namespace {

std::string LowerHex(const std::string& bytes) {
  static const char kDigits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char byte : bytes) {
    hex += kDigits[byte >> 4];
    hex += kDigits[byte & 15];
  }
  return hex;
}

std::string ListJson(const ArchiveView& archive) {
  nlohmann::ordered_json entries = nlohmann::ordered_json::array();
  for (const ArchiveEntry& entry : archive.entries) {
    nlohmann::ordered_json name = nullptr;
    if (entry.decoded) {
      std::string slashed = *entry.decoded;
      for (char& c : slashed) {
        if (c == '\\') c = '/';
      }
      name = slashed;
    }
    entries.push_back({{"index", entry.index},
                       {"name", name},
                       {"stored_name", LowerHex(entry.stored)},
                       {"offset", entry.offset},
                       {"size", entry.size}});
  }
  nlohmann::ordered_json document = {
      {"archive", archive.path},           {"magic", archive.magic},
      {"entry_count", archive.entryCount}, {"directory_offset", archive.directoryOffset},
      {"file_size", archive.fileSize},     {"entries", std::move(entries)}};
  // A path given in bytes that are not UTF-8 still gives a valid document.
  return document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n";
}

std::string ListTable(const ArchiveView& archive) {
  std::string out = "  index        size      offset  name\n";
  std::uint64_t total = 0;
  char columns[64];
  for (const ArchiveEntry& entry : archive.entries) {
    std::snprintf(columns, sizeof columns, "%7d %11u %11llu  ", entry.index, entry.size,
                  static_cast<unsigned long long>(entry.offset));
    out += columns;
    out += entry.shown;
    out += '\n';
    total += entry.size;
  }
  out += std::to_string(archive.entries.size()) +
         (archive.entries.size() == 1 ? " entry, " : " entries, ") + std::to_string(total) +
         " bytes\n";
  return out;
}

}  // namespace

int RunList(const ListOptions& options) {
  ArchiveView archive;
  if (!OpenArchive(options.archive, archive)) return kExitStopped;
  if (options.json) {
    WriteUtf8(TextStream::kOut, ListJson(archive));
  } else if (options.names) {
    std::string out;
    for (const ArchiveEntry& entry : archive.entries) out += entry.shown + "\n";
    WriteUtf8(TextStream::kOut, out);
  } else {
    WriteUtf8(TextStream::kOut, ListTable(archive));
  }
  return FlushText(TextStream::kOut) ? kExitDone : kExitStopped;
}
