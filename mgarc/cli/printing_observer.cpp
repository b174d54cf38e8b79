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

void PrintingObserver::Flush() {
  if (out_.empty() && err_.empty()) return;
  display_.Clear();
  WriteUtf8(TextStream::kOut, out_);
  WriteUtf8(TextStream::kErr, err_);
  FlushText(TextStream::kOut);
  out_.clear();
  err_.clear();
}

}  // namespace mgarc::cli
