// Fuzzes mgarc's reading side on any file: `verify --json`, `verify` and
// `list --json`. Each must end with one of its statuses, print a document that
// parses, and agree with the others: the same files are archives to both
// commands, verify's "ok" is its status 0, the text report has one line a
// finding and a summary, and the findings that follow from list's numbers
// alone (data past the end, a name that does not decode) are there exactly.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "fuzz_workspace.h"
#include "mgarc/cli/mgarc.h"
#include "test_archive.h"

using namespace mgarc::cli;

namespace {

struct Workspace {
  std::string root = FreshWorkspace("mgarc-verify-fuzz");
  std::string archive = root + "/input.dat";
  std::string output = root + "/stdout.txt";
};

const Workspace& Space() {
  static const Workspace space;
  return space;
}

// Runs mgarc with standard output going to a file; returns what it printed.
// A stop prints nothing there, but for verify --json, whose report keeps a
// line for an archive it cannot read.
int Run(const std::vector<std::string>& arguments, std::string& printed,
        bool reportsStops = false) {
  const Workspace& space = Space();
  if (std::freopen(space.output.c_str(), "w", stdout) == nullptr) std::abort();
  int status = static_cast<int>(RunMgarc(arguments));
  std::fflush(stdout);
  printed = ReadFile(space.output);
  if (status < 0 || status > 2) std::abort();
  if (status == 2 && !reportsStops && !printed.empty()) std::abort();
  return status;
}

const std::set<std::string> kKinds = {
    "data_past_end",
    "data_overlaps_directory",
    "name_not_decodable",
    "name_not_canonical",
    "name_leaves_directory",
    "name_reserved_on_windows",
    "duplicate_name",
    "name_file_and_directory",
    "reserved_bytes_set",
    "gap_before_directory",
    "bytes_after_directory",
    "over_marrowgilder_limit",
    "name_has_control_character",
};

bool HasFinding(const nlohmann::json& findings, const std::string& kind, std::int64_t index) {
  for (const nlohmann::json& finding : findings) {
    if (finding["kind"] == kind && finding["index"] == index) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Workspace& space = Space();
  WriteFile(space.archive, std::string(reinterpret_cast<const char*>(data), size));

  std::string verifyJson, verifyText, listJson;
  int verified = Run({"mgarc", "verify", "--json", space.archive}, verifyJson, true);
  int verifiedText = Run({"mgarc", "verify", space.archive}, verifyText);
  int listed = Run({"mgarc", "list", "--json", space.archive}, listJson);
  if (verifiedText != verified || (listed == 2) != (verified == 2)) std::abort();
  if (verified == 2) {
    // A damaged archive is a line of the JSON report too.
    const nlohmann::json failed = nlohmann::json::parse(verifyJson);
    if (failed.at("ok") != false || !failed.at("error").is_string()) std::abort();
    return 0;
  }
  if (listed != 0) std::abort();  // judging is verify's job

  const nlohmann::json report = nlohmann::json::parse(verifyJson);
  const nlohmann::json list = nlohmann::json::parse(listJson);
  const nlohmann::json& findings = report.at("findings");
  const nlohmann::json& entries = list.at("entries");
  if (report.at("ok") != (verified == 0) || findings.empty() != (verified == 0)) std::abort();
  if (list.at("entry_count") != entries.size() || list.at("file_size") != size) std::abort();

  std::size_t lines = 0;
  for (char c : verifyText) lines += c == '\n';
  if (lines != findings.size() + 1 || verifyText.back() != '\n') std::abort();

  for (const nlohmann::json& finding : findings) {
    if (kKinds.count(finding.at("kind").get<std::string>()) == 0) std::abort();
    const nlohmann::json& index = finding.at("index");
    if (!index.is_null() && (index < 1 || index > entries.size())) std::abort();
  }
  std::uint64_t offset = 16;
  for (const nlohmann::json& entry : entries) {
    const std::int64_t index = entry.at("index");
    const std::uint64_t entrySize = entry.at("size");
    if (entry.at("offset") != offset) std::abort();
    offset += entrySize;
    if (HasFinding(findings, "data_past_end", index) != (offset > size)) std::abort();
    if (HasFinding(findings, "name_not_decodable", index) != entry.at("name").is_null()) {
      std::abort();
    }
  }
  return 0;
}
