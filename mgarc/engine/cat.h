// Cat as the engine does it: one entry's bytes, found by name, handed on in
// blocks to wherever the caller sends them.
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>

#include "mgarc/engine/observer.h"

namespace mgarc::engine {

struct CatOptions {
  std::string archive;
  std::string name;  // as list shows it, case ignored
};

struct CatResult {
  std::optional<Problem> refused;   // no such archive or entry, or a read failed: stopped there
  std::optional<Problem> cutShort;  // all the archive holds was given, but the entry is cut short
  bool stopped = false;             // write said no, or the observer stopped it
};

// Gives the entry's bytes to write, in order; write returns false to stop
// (its own failure, which it reports itself).
CatResult Cat(const CatOptions& options, Observer& observer,
              const std::function<bool(const unsigned char*, std::size_t)>& write);

}  // namespace mgarc::engine
