#include "mgarc/cli/printing_observer.h"

#include "platform/console.h"

namespace mgarc::cli {

PrintingObserver::PrintingObserver(bool itemLines, bool progressLine)
    : itemLines_(itemLines), display_(progressLine && IsTerminal(TextStream::kErr)) {}

void PrintingObserver::Progressed(const engine::Progress& progress) {
  Flush();
  if (progress.itemsDone < progress.items) {
    display_.Draw(progress);
  } else {
    display_.Clear();
  }
}

void PrintingObserver::ProblemFound(const engine::Problem& problem) {
  err_ += "mgarc: " + problem.subject + ": " + problem.reason + "\n";
}

void PrintingObserver::ItemDone(const std::string& line) {
  if (itemLines_) out_ += line + "\n";
}

void PrintingObserver::Finish() {
  Flush();
  display_.Clear();
}

void PrintingObserver::FinishWithTotals(std::uint64_t files, std::uint64_t bytes) {
  Finish();
  // Not after lines that were lost: the run ends with the write error instead.
  if ((itemLines_ || display_.shown()) && !outputLost_) {
    WriteUtf8(TextStream::kErr, TotalsText(files, bytes, display_.Seconds()) + "\n");
  }
}

void PrintingObserver::Flush() {
  if (out_.empty() && err_.empty()) return;
  display_.Clear();
  WriteUtf8(TextStream::kOut, out_);
  WriteUtf8(TextStream::kErr, err_);
  if (!FlushText(TextStream::kOut)) outputLost_ = true;
  out_.clear();
  err_.clear();
}

}  // namespace mgarc::cli
