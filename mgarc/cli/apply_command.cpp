#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/apply.h"
#include "platform/console.h"

namespace mgarc::cli {

ExitStatus RunApply(const ApplyOptions& options) {
  PrintingObserver observer(false, true);
  engine::ApplyResult result = engine::Apply(options, observer);
  observer.Finish();
  if (ReportRefusal(result.refused)) return ExitStatus::kStopped;
  if (result.stopped) return ExitStatus::kStopped;
  if (result.fit == engine::PatchFit::kAlreadyApplied) {
    WriteUtf8(TextStream::kOut, options.archive + ": already up to date\n");
  } else {
    WriteUtf8(TextStream::kOut, result.target + ": patched, " + std::to_string(result.newSize) +
                                    " bytes, " + std::to_string(result.fromPatch) +
                                    " of them from the patch\n");
  }
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
