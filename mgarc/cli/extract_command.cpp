#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/extract.h"

namespace mgarc::cli {

ExitStatus RunExtract(const ExtractOptions& options) {
  PrintingObserver observer(options.verbose, !options.quiet);
  engine::ExtractResult result = engine::Extract(options, observer);
  if (result.refused || result.stopped) {
    observer.Finish();
    ReportRefusal(result.refused);
    return ExitStatus::kStopped;
  }
  observer.FinishWithTotals(result.files, result.bytes);
  return result.allWritten && result.allMatched && result.kept.empty() ? ExitStatus::kDone
                                                                    : ExitStatus::kIncomplete;
}

}  // namespace mgarc::cli
