// Apply as the engine does it: an archive turned into the one a patch was
// made for, in place or into another file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "mgarc/engine/observer.h"

namespace mgarc::engine {

struct ApplyOptions {
  std::string patch;
  std::string archive;
  std::string output;    // empty: ARCHIVE itself
  unsigned workers = 0;  // 0: one per processor
};

// What the archive is to the patch, decided from its size and SHA-256.
enum class PatchFit {
  kApplies,         // it is the patch's OLD
  kAlreadyApplied,  // it is the patch's NEW already: nothing is written
  kWrongArchive,    // neither: nothing is written
};

struct ApplyResult {
  std::optional<Problem> refused;  // the patch or the archive cannot be used, the archive is not
                                   // the patch's OLD, or the result was not written
  PatchFit fit = PatchFit::kApplies;
  bool stopped = false;  // the observer stopped it: nothing was written
  std::string target;    // where NEW was written
  std::uint64_t newSize = 0;
  std::uint64_t fromPatch = 0;  // NEW's bytes that came from the patch
};

ApplyResult Apply(const ApplyOptions& options, Observer& observer);

}  // namespace mgarc::engine
