// Results of work done in parallel, reported to an observer in directory order as
// they become known, from the calling thread: what is reported is the same for
// any number of workers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mgarc/engine/observer.h"

namespace mgarc::engine {

enum class Outcome {
  kPending,
  kDone,
  kSilent,  // nothing to report: kept, or replaced by a later entry
  kFailed,
  kKept,     // a file kept that differs from what would be written: a problem, named by doneLine
  kStopped,  // given up when the run was stopped: nothing left of it, nothing to report
};

struct ItemResult {
  Outcome outcome = Outcome::kPending;
  std::string reason;  // for kFailed: the problem's reason; its subject is the item's name
};

// How the items of a run are reported.
struct ItemReport {
  std::function<std::string(std::size_t item)> name;      // the subject of an item's problem
  std::function<std::string(std::size_t item)> doneLine;  // when given, a line per item done
  Observer* observer = &SilentObserver();
};

// How a run of workers ended.
struct RunResult {
  bool noneFailed = true;
  bool stopped = false;     // the observer asked to stop
  std::size_t done = 0;     // items done
  std::vector<std::size_t> kept;  // items kept, in order
  std::uint64_t bytes = 0;  // the bytes the workers went through
};

class OrderedResults {
 public:
  explicit OrderedResults(std::size_t count, std::uint64_t bytes = 0)
      : reasons_(count), states_(new std::atomic<Outcome>[count]), bytes_(bytes) {
    for (std::size_t i = 0; i < count; ++i) states_[i] = Outcome::kPending;
  }

  // Before the workers start: a result known from the plan.
  void Preset(std::size_t i, ItemResult result) { Publish(i, std::move(result)); }
  // From any worker, once for each item.
  void Publish(std::size_t i, ItemResult result);
  void AddBytes(std::uint64_t bytes) { bytesDone_ += bytes; }
  std::uint64_t BytesDone() const { return bytesDone_; }
  // Workers look between items (and between pieces of a large one) and stop.
  bool Stopping() const { return stopping_.load(std::memory_order_relaxed); }

  // Reports every result in order until all are known, or until the observer
  // asks to stop (Stopping() is then true for the workers).
  RunResult ReportAll(const ItemReport& report);
  // After a stop, once the workers are gone: reports what they finished.
  void ReportRest(const ItemReport& report, RunResult& run);

 private:
  // Reports the results known from cursor_ on; stops at the first not known
  // unless skipUnknown.
  void ReportKnown(const ItemReport& report, bool skipUnknown, RunResult& run);
  Progress Counts() const { return {cursor_, reasons_.size(), bytesDone_, bytes_}; }

  // A result is written first, then its state: who sees the state sees the result.
  // A reason is kept only where there is one: most items have none.
  std::vector<std::unique_ptr<std::string>> reasons_;
  std::unique_ptr<std::atomic<Outcome>[]> states_;
  const std::uint64_t bytes_;
  std::size_t cursor_ = 0;  // the first item not reported yet
  std::atomic<std::size_t> published_{0};
  std::atomic<std::uint64_t> bytesDone_{0};
  std::atomic<bool> stopping_{false};
  // Wakes the reporter when the last result is in; it looks ten times a second otherwise.
  std::mutex mutex_;
  std::condition_variable allPublished_;
};

// Runs work on workers threads (0: one per processor; never more than
// items), reports every result as they come, and returns when all are done or
// the observer stopped the run.
RunResult RunWorkers(unsigned workers, std::size_t items, const std::function<void()>& work,
                     OrderedResults& results, const ItemReport& report);

}  // namespace mgarc::engine
