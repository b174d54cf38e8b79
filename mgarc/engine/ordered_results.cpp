// The reporter of results worked out in parallel: workers publish each item's
// result into its own slot, and the calling thread reports them in order.
#include "mgarc/engine/ordered_results.h"

#include <chrono>
#include <system_error>
#include <thread>

namespace mgarc::engine {

void OrderedResults::Publish(std::size_t i, ItemResult result) {
  Outcome outcome = result.outcome;
  if (outcome == Outcome::kFailed || outcome == Outcome::kKept) {
    reasons_[i] = std::make_unique<std::string>(std::move(result.reason));
  }
  states_[i].store(outcome, std::memory_order_release);
  if (++published_ == reasons_.size()) {
    std::lock_guard<std::mutex> lock(mutex_);
    allPublished_.notify_one();
  }
}

void OrderedResults::ReportKnown(const ItemReport& report, bool skipUnknown, RunResult& run) {
  for (; cursor_ < reasons_.size(); ++cursor_) {
    Outcome outcome = states_[cursor_].load(std::memory_order_acquire);
    if (outcome == Outcome::kPending && !skipUnknown) break;
    if (outcome == Outcome::kFailed) {
      report.observer->ProblemFound({report.name(cursor_), *reasons_[cursor_]});
      run.noneFailed = false;
    } else if (outcome == Outcome::kKept) {
      report.observer->ProblemFound({"kept " + report.doneLine(cursor_), *reasons_[cursor_]});
      run.kept.push_back(cursor_);
    } else if (outcome == Outcome::kDone) {
      ++run.done;
      if (report.doneLine) report.observer->ItemDone(report.doneLine(cursor_));
    }
  }
}

RunResult OrderedResults::ReportAll(const ItemReport& report) {
  RunResult run;
  report.observer->Progressed(Counts());
  for (;;) {
    ReportKnown(report, false, run);
    report.observer->Progressed(Counts());
    if (cursor_ == reasons_.size()) break;
    if (report.observer->StopRequested()) {
      stopping_ = true;
      run.stopped = true;
      break;
    }
    std::unique_lock<std::mutex> lock(mutex_);
    allPublished_.wait_for(lock, std::chrono::milliseconds(100),
                           [this] { return published_ == reasons_.size(); });
  }
  return run;
}

void OrderedResults::ReportRest(const ItemReport& report, RunResult& run) {
  ReportKnown(report, true, run);
  report.observer->Progressed(Counts());
}

RunResult RunWorkers(unsigned workers, std::size_t items, const std::function<void()>& work,
                     OrderedResults& results, const ItemReport& report) {
  if (workers == 0) workers = std::thread::hardware_concurrency();
  if (workers == 0) workers = 1;
  if (workers > items) workers = static_cast<unsigned>(items);
  std::vector<std::thread> threads;
  try {
    for (unsigned w = 0; w < workers; ++w) threads.emplace_back(work);
  } catch (const std::system_error&) {
    // The system gives no more threads: those started do the work, or this one.
    if (threads.empty()) work();
  }
  RunResult run = results.ReportAll(report);
  for (std::thread& thread : threads) thread.join();
  if (run.stopped) results.ReportRest(report, run);
  run.bytes = results.BytesDone();
  return run;
}

}  // namespace mgarc::engine
