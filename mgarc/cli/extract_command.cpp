#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/extract.h"

namespace mgarc::cli {

ExitStatus RunExtract(const ExtractOptions& options) {
  PrintingObserver observer(options.verbose, !options.quiet);
  engine::ExtractResult result = engine::Extract(options, observer);
  observer.Finish();
  if (ReportRefusal(result.refused)) return ExitStatus::kStopped;
  if (result.stopped) return ExitStatus::kStopped;
  return result.allWritten && result.allMatched ? ExitStatus::kDone : ExitStatus::kIncomplete;
}

}  // namespace mgarc::cli
