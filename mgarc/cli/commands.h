// mgarc's commands. Each returns the process exit status (ExitStatus): 0
// done, 1 done with findings or entries not written, 2 stopped (a line on
// standard error says why).
#pragma once

#include <string>
#include <vector>

#include "mgarc/cli/exit_status.h"
#include "mgarc/engine/apply.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/cat.h"
#include "mgarc/engine/create.h"
#include "mgarc/engine/diff.h"
#include "mgarc/engine/extract.h"
#include "mgarc/engine/update.h"

namespace mgarc::cli {

struct ListOptions {
  std::string archive;
  bool json = false;
  bool names = false;
  bool nul = false;      // with names: each ends with a zero byte, not a line break
  bool sha256 = false;   // "HASH  NAME" lines, as sha256sum writes them
  unsigned workers = 0;  // for sha256
};
ExitStatus RunList(const ListOptions& options);

struct VerifyOptions {
  std::vector<std::string> archives;  // one or more; the status is the worst of them
  bool json = false;                  // one JSON document a line, one line an archive
  std::string sums;                   // a file of sums (list --sha256) to check the entries against
  unsigned workers = 0;               // for sums
};
ExitStatus RunVerify(const VerifyOptions& options);

using CatOptions = engine::CatOptions;
ExitStatus RunCat(const CatOptions& options);

struct ExtractOptions : engine::ExtractOptions {
  bool verbose = false;
  bool quiet = false;
};
ExitStatus RunExtract(const ExtractOptions& options);

struct CreateOptions : engine::CreateOptions {
  bool verbose = false;
  bool quiet = false;
};
ExitStatus RunCreate(const CreateOptions& options);

struct UpdateOptions : engine::UpdateOptions {
  bool verbose = false;
  bool quiet = false;
  bool dryRun = false;
};
ExitStatus RunUpdate(const UpdateOptions& options);

struct DiffOptions : engine::DiffOptions {
  bool json = false;
};
// 0 when the two files are identical, 1 when they differ, 2 on trouble.
ExitStatus RunDiff(const DiffOptions& options);

using ApplyOptions = engine::ApplyOptions;
ExitStatus RunApply(const ApplyOptions& options);

struct MountOptions {
  std::string archive;
  std::string mountPoint;
  bool foreground = false;
};
// Returns once the file system is ready (with foreground, once it is unmounted).
ExitStatus RunMount(const MountOptions& options);

// "mgarc: subject: reason" on standard error.
void ReportProblem(const std::string& subject, const std::string& reason);
// Reports a refusal of the engine, when there is one: true then.
bool ReportRefusal(const std::optional<engine::Problem>& refused);
// The archive at path, opened for a command; a failure reported as "mgarc: ARCHIVE: reason".
bool OpenArchive(const std::string& path, engine::ArchiveView& view);

}  // namespace mgarc::cli
