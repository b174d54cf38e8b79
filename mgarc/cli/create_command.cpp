#include "mgarc/cli/commands.h"
#include "mgarc/cli/printing_observer.h"
#include "mgarc/engine/create.h"

namespace mgarc::cli {

ExitStatus RunCreate(const CreateOptions& options) {
  PrintingObserver observer(options.verbose, !options.quiet);
  engine::CreateResult result = engine::Create(options, observer);
  observer.Finish();
  if (ReportRefusal(result.refused)) return ExitStatus::kStopped;
  return result.stopped ? ExitStatus::kStopped : ExitStatus::kDone;
}

}  // namespace mgarc::cli
