#include "mgarc/cli/commands.h"
#include "mgarc/engine/cat.h"
#include "platform/console.h"

namespace mgarc::cli {

ExitStatus RunCat(const CatOptions& options) {
  // A write that fails is reported once, as the program ends.
  engine::CatResult result = engine::Cat(
      options, engine::SilentObserver(), [](const unsigned char* bytes, std::size_t size) {
        return WriteBinaryOut(reinterpret_cast<const char*>(bytes), size);
      });
  if (ReportRefusal(result.refused)) return ExitStatus::kStopped;
  if (result.stopped || !FlushText(TextStream::kOut)) return ExitStatus::kStopped;
  if (result.cutShort) {
    ReportProblem(result.cutShort->subject, result.cutShort->reason);
    return ExitStatus::kIncomplete;
  }
  return ExitStatus::kDone;
}

}  // namespace mgarc::cli
