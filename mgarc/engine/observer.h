// What an operation of the engine says while it runs, to whoever runs it:
// the command line prints it, a window would draw it. The engine calls the
// observer only from the thread that called the operation.
#pragma once

#include <cstdint>
#include <string>

namespace mgarc::engine {

// Something that went wrong with one subject (an entry, a file, the archive);
// the command line shows it as "mgarc: SUBJECT: REASON".
struct Problem {
  std::string subject;
  std::string reason;
};

// How far a long run has come: items (entries) and bytes, done and in all.
struct Progress {
  std::uint64_t itemsDone = 0;
  std::uint64_t items = 0;
  std::uint64_t bytesDone = 0;
  std::uint64_t bytes = 0;
};

class Observer {
 public:
  virtual ~Observer() = default;
  // Counts, after each batch of items reported (and once before the first): a
  // caller that holds lines back shows them here.
  virtual void Progressed(const Progress& /*progress*/) {}
  virtual void ProblemFound(const Problem& /*problem*/) {}
  // An item done, as the line -v shows for it.
  virtual void ItemDone(const std::string& /*line*/) {}
  // Asked between items: true stops the operation, leaving nothing half-written.
  virtual bool StopRequested() { return false; }
};

// Says nothing and never stops: for callers that only want the result.
inline Observer& SilentObserver() {
  static Observer silent;
  return silent;
}

}  // namespace mgarc::engine
