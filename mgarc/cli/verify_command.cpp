#include <nlohmann/json.hpp>

#include "mgarc/cli/commands.h"
#include "mgarc/engine/archive_checks.h"
#include "mgarc/engine/archive_view.h"
#include "platform/case_folding.h"
#include "platform/console.h"
#include "platform/file_stream.h"
#include "platform/text_conversion.h"

namespace mgarc::cli {
using namespace engine;

namespace {

std::string FindingLine(const ArchiveView& archive, const Finding& finding) {
  std::string line = finding.kind + ": ";
  if (finding.index) {
    line += "entry " + std::to_string(*finding.index) + " (" +
            archive.entries[static_cast<std::size_t>(*finding.index - 1)].shown() + "): ";
  }
  return line + finding.message + "\n";
}

// Reads every byte of the entries' data that the file holds, so that a file
// the system cannot read is found too.
// On failure, *reached is where the reading stopped.
bool ReadAllData(ArchiveView& archive, std::uint64_t* reached) {
  std::uint64_t end = archive.entries.empty() ? 16 : archive.entries.back().end();
  if (end > archive.fileSize) end = archive.fileSize;
  std::vector<char> buffer(256 * 1024);
  for (std::uint64_t at = 16; at < end;) {
    std::uint64_t left = end - at;
    std::size_t piece = left < buffer.size() ? static_cast<std::size_t>(left) : buffer.size();
    std::size_t got = archive.file->ReadAt(at, buffer.data(), piece);
    *reached = at + got;
    if (got < piece) return false;
    at += got;
  }
  return true;
}

}  // namespace

ExitStatus RunVerify(const VerifyOptions& options) {
  ArchiveView archive;
  if (!OpenArchive(options.archive, archive)) return ExitStatus::kStopped;
  std::uint64_t reached = 0;
  if (!ReadAllData(archive, &reached)) {
    ReportProblem(options.archive, ShortReadReason(*archive.file, "cannot be read: ", reached));
    return ExitStatus::kStopped;
  }
  NameCodec codec;
  std::vector<Finding> findings = CheckArchive(
      archive,
      [&codec](const std::string& text, std::string& out) { return codec.Encode(text, out); },
      DecodeWith(codec), UppercaseText);
  if (options.json) {
    nlohmann::ordered_json list = nlohmann::ordered_json::array();
    for (const Finding& finding : findings) {
      list.push_back({{"kind", finding.kind},
                      {"index", finding.index ? nlohmann::ordered_json(*finding.index) : nullptr},
                      {"message", finding.message}});
    }
    nlohmann::ordered_json document = {
        {"archive", archive.path}, {"ok", findings.empty()}, {"findings", std::move(list)}};
    WriteUtf8(
        TextStream::kOut,
        document.dump(2, ' ', false, nlohmann::ordered_json::error_handler_t::replace) + "\n");
  } else {
    for (const Finding& finding : findings) {
      WriteUtf8(TextStream::kOut, FindingLine(archive, finding));
    }
    std::string out = archive.path + ": " + std::to_string(archive.entries.size()) +
                      (archive.entries.size() == 1 ? " entry, " : " entries, ") +
                      (findings.empty() ? std::string("no findings")
                                        : std::to_string(findings.size()) +
                                              (findings.size() == 1 ? " finding" : " findings")) +
                      "\n";
    WriteUtf8(TextStream::kOut, out);
  }
  if (!FlushText(TextStream::kOut)) return ExitStatus::kStopped;
  return findings.empty() ? ExitStatus::kDone : ExitStatus::kIncomplete;
}

}  // namespace mgarc::cli
