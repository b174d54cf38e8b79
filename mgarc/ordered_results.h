// Results of work done in parallel, told in directory order as they become
// known, with the progress line between them: the output is the same for any
// number of workers.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "mgarc/progress_line.h"

enum class Outcome {
  kPending,
  kDone,
  kSilent,  // nothing to tell: kept, or replaced by a later entry
  kFailed,
};

struct ItemResult {
  Outcome outcome = Outcome::kPending;
  std::string problem;  // for kFailed
};

class OrderedResults {
 public:
  explicit OrderedResults(std::size_t count)
      : problems_(count), states_(new std::atomic<Outcome>[count]) {
    for (std::size_t i = 0; i < count; ++i) states_[i] = Outcome::kPending;
  }

  // Before the workers start: a result known from the plan.
  void Preset(std::size_t i, ItemResult result) { Publish(i, std::move(result)); }
  // From any worker, once for each item.
  void Publish(std::size_t i, ItemResult result);
  void AddBytes(std::uint64_t bytes) { bytesDone_ += bytes; }

  // Tells every result in order until all are known: a failure as
  // "mgarc: NAME: problem" on standard error; with doneLine, each kDone item's
  // line on standard output. True when none failed.
  bool TellAll(const std::function<std::string(std::size_t)>& name,
               const std::function<std::string(std::size_t)>& doneLine, ProgressDisplay& progress);

 private:
  // A result is written first, then its state: who sees the state sees the result.
  // A problem is held only where there is one: most items have none.
  std::vector<std::unique_ptr<std::string>> problems_;
  std::unique_ptr<std::atomic<Outcome>[]> states_;
  std::atomic<std::size_t> published_{0};
  std::atomic<std::uint64_t> bytesDone_{0};
  // Wakes the teller when the last result is in; it looks ten times a second otherwise.
  std::mutex mutex_;
  std::condition_variable allPublished_;
};

// Runs work on workers threads (0: one per processor; never more than
// items), tells every result as they come, and returns when all are done:
// true when none failed.
bool RunWorkers(unsigned workers, std::size_t items, const std::function<void()>& work,
                OrderedResults& results, const std::function<std::string(std::size_t)>& name,
                const std::function<std::string(std::size_t)>& doneLine, ProgressDisplay& progress);
