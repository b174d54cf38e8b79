#include "mgarc/engine/tree_walk.h"

#include <algorithm>

#include "platform/tree_listing.h"

namespace mgarc::engine {

TreeWalk WalkTree(const std::filesystem::path& root, const std::vector<FileIdentity>& leaveOut) {
  TreeListing listing = ListTree(root, leaveOut);
  TreeWalk walk;
  walk.failure = listing.failure;
  for (ListedFile& file : listing.files) {
    walk.files.push_back({std::move(file.path), std::move(file.relative), {}, file.size});
  }
  for (auto& [relative, why] : listing.leftOut) {
    walk.notes.push_back({relative, why == LeftOut::kLoop
                                        ? "left out: a link back to a directory above it"
                                    : why == LeftOut::kEmptyDirectory
                                        ? "left out: an archive cannot hold an empty directory"
                                        : "left out: neither a file nor a directory"});
  }
  // Reports in one order on every machine, whatever order the system lists.
  std::sort(walk.files.begin(), walk.files.end(),
            [](const PackedFile& a, const PackedFile& b) { return a.relative < b.relative; });
  std::sort(walk.notes.begin(), walk.notes.end(),
            [](const PackingProblem& a, const PackingProblem& b) { return a.subject < b.subject; });
  return walk;
}

}  // namespace mgarc::engine
