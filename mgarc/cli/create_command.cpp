#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/create.h"

namespace mgarc::cli {

ExitStatus RunCreate(const CreateOptions& options) {
  PrintingObserver observer(options.verbose, !options.quiet);
  engine::CreateResult result = engine::Create(options, observer);
  if (result.refused || result.stopped) {
    observer.Finish();
    ReportRefusal(result.refused);
    return ExitStatus::kStopped;
  }
  observer.FinishWithTotals(result.files, result.bytes);
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
