#include <nlohmann/json.hpp>

#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/verify.h"
#include "platform/console.h"

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

}  // namespace

ExitStatus RunVerify(const VerifyOptions& options) {
  PrintingObserver observer(false, false);
  VerifyResult result = engine::Verify(options.archive, observer);
  observer.Finish();
  if (ReportRefusal(result.refused)) return ExitStatus::kStopped;
  if (result.stopped) return ExitStatus::kStopped;
  const ArchiveView& archive = result.archive;
  const std::vector<Finding>& findings = result.findings;
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
