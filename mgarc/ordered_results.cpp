#include "mgarc/ordered_results.h"

#include <chrono>
#include <system_error>
#include <thread>

#include "platform/console.h"

void OrderedResults::Publish(std::size_t i, ItemResult result) {
  Outcome outcome = result.outcome;
  if (outcome == Outcome::kFailed) {
    problems_[i] = std::make_unique<std::string>(std::move(result.problem));
  }
  states_[i].store(outcome, std::memory_order_release);
  if (++published_ == problems_.size()) {
    std::lock_guard<std::mutex> lock(mutex_);
    allPublished_.notify_one();
  }
}

bool OrderedResults::TellAll(const std::function<std::string(std::size_t)>& name,
                             const std::function<std::string(std::size_t)>& doneLine,
                             ProgressDisplay& progress) {
  bool noneFailed = true;
  std::size_t cursor = 0;
  for (;;) {
    std::string out;
    std::string err;
    for (; cursor < problems_.size(); ++cursor) {
      Outcome outcome = states_[cursor].load(std::memory_order_acquire);
      if (outcome == Outcome::kPending) break;
      if (outcome == Outcome::kFailed) {
        err += "mgarc: " + name(cursor) + ": " + *problems_[cursor] + "\n";
        noneFailed = false;
      } else if (outcome == Outcome::kDone && doneLine) {
        out += doneLine(cursor) + "\n";
      }
    }
    if (!out.empty() || !err.empty()) {
      progress.Clear();
      WriteUtf8(TextStream::kOut, out);
      WriteUtf8(TextStream::kErr, err);
      FlushText(TextStream::kOut);
    }
    if (cursor == problems_.size()) break;
    progress.Draw(cursor, bytesDone_);
    std::unique_lock<std::mutex> lock(mutex_);
    allPublished_.wait_for(lock, std::chrono::milliseconds(100),
                           [this] { return published_ == problems_.size(); });
  }
  progress.Clear();
  return noneFailed;
}

bool RunWorkers(unsigned workers, std::size_t items, const std::function<void()>& work,
                OrderedResults& results, const std::function<std::string(std::size_t)>& name,
                const std::function<std::string(std::size_t)>& doneLine,
                ProgressDisplay& progress) {
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
  bool noneFailed = results.TellAll(name, doneLine, progress);
  for (std::thread& thread : threads) thread.join();
  return noneFailed;
}
