#include <algorithm>
#include <nlohmann/json.hpp>

#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/verify.h"
#include "platform/console.h"

namespace mgarc::cli {
using namespace engine;

namespace {

using Json = nlohmann::ordered_json;

// One line a document: a report of many archives reads as JSON Lines.
std::string JsonLine(const Json& document) {
  return document.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

std::string FindingLine(const ArchiveView& archive, const Finding& finding) {
  std::string line = finding.kind + ": ";
  if (finding.index) {
    line += "entry " + std::to_string(*finding.index) + " (" +
            archive.entries[static_cast<std::size_t>(*finding.index - 1)].shown() + "): ";
  } else if (!finding.name.empty()) {
    line += finding.name + ": ";
  }
  return line + finding.message + "\n";
}

std::string FindingsJson(const ArchiveView& archive, const std::vector<Finding>& findings) {
  Json list = Json::array();
  for (const Finding& finding : findings) {
    Json index = nullptr;
    Json name = finding.name.empty() ? Json(nullptr) : Json(finding.name);
    if (finding.index) {
      index = *finding.index;
      name = archive.entries[static_cast<std::size_t>(*finding.index - 1)].shown();
    }
    list.push_back(
        {{"kind", finding.kind}, {"index", index}, {"name", name}, {"message", finding.message}});
  }
  return JsonLine(
      {{"archive", archive.path}, {"ok", findings.empty()}, {"findings", std::move(list)}});
}

std::string FindingsText(const ArchiveView& archive, const std::vector<Finding>& findings,
                         bool several) {
  std::string out;
  // Among several archives, each line says which it is about.
  for (const Finding& finding : findings) {
    out += (several ? archive.path + ": " : "") + FindingLine(archive, finding);
  }
  return out + archive.path + ": " + std::to_string(archive.entries.size()) +
         (archive.entries.size() == 1 ? " entry, " : " entries, ") +
         (findings.empty() ? std::string("no findings")
                           : std::to_string(findings.size()) +
                                 (findings.size() == 1 ? " finding" : " findings")) +
         "\n";
}

ExitStatus VerifyOne(const std::string& path, const VerifyOptions& options, const SumsList* sums) {
  const bool json = options.json;
  const bool several = options.archives.size() > 1;
  PrintingObserver observer(false, false);
  VerifyResult result = engine::Verify(path, observer, sums, options.workers);
  observer.Finish();
  if (ReportRefusal(result.refused)) {
    // A report piped to a JSON reader must not drop the damaged archives.
    if (json) {
      WriteUtf8(TextStream::kOut,
                JsonLine({{"archive", path}, {"ok", false}, {"error", result.refused->reason}}));
    }
    return ExitStatus::kStopped;
  }
  if (result.stopped) return ExitStatus::kStopped;
  WriteUtf8(TextStream::kOut, json ? FindingsJson(result.archive, result.findings)
                                   : FindingsText(result.archive, result.findings, several));
  return result.findings.empty() ? ExitStatus::kDone : ExitStatus::kIncomplete;
}

}  // namespace

ExitStatus RunVerify(const VerifyOptions& options) {
  // The worst of them: stopped, then findings, then done.
  SumsList sums;
  if (!options.sums.empty() && ReportRefusal(ReadSums(options.sums, sums))) {
    return ExitStatus::kStopped;
  }
  ExitStatus worst = ExitStatus::kDone;
  for (const std::string& archive : options.archives) {
    worst = std::max(worst, VerifyOne(archive, options, options.sums.empty() ? nullptr : &sums));
  }
  if (!FlushText(TextStream::kOut)) return ExitStatus::kStopped;
  return worst;
}

}  // namespace mgarc::cli
