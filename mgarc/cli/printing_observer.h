// What the command line prints of an operation while it runs: problems as
// "mgarc: SUBJECT: REASON" on standard error, -v's lines on standard output,
// the progress line on a terminal.
#pragma once

#include <string>

#include "mgarc/cli/progress_line.h"
#include "mgarc/engine/observer.h"

namespace mgarc::cli {

// Lines are held back and written at each progress report, standard output's
// first, so that a batch of results reads the same for any number of workers.
class PrintingObserver : public engine::Observer {
 public:
  // itemLines: -v's lines are printed; progressLine: the progress line is
  // drawn, when standard error is a terminal.
  PrintingObserver(bool itemLines, bool progressLine);
  ~PrintingObserver() override { Finish(); }
  PrintingObserver(const PrintingObserver&) = delete;
  PrintingObserver& operator=(const PrintingObserver&) = delete;

  void Progressed(const engine::Progress& progress) override;
  void ProblemFound(const engine::Problem& problem) override;
  void ItemDone(const std::string& line) override;
  // Writes what is held back and takes the progress line away.
  void Finish();
  // Finishes, then leaves a line of totals where the progress line was drawn
  // or -v's lines were printed: scripts that asked for neither see nothing.
  void FinishWithTotals(std::uint64_t files, std::uint64_t bytes);

 private:
  void Flush();

  const bool itemLines_;
  ProgressDisplay display_;
  std::string out_;
  std::string err_;
  bool outputLost_ = false;  // standard output failed
};

}  // namespace mgarc::cli
