// The walk of the tree that create and update pack, and the stored names of
// its files.
#include "mgarc/engine/tree_walk.h"

#include <algorithm>
#include <filesystem>

#include "mgarc/engine/archive_view.h"
#include "platform/arguments.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"
#include "platform/tree_listing.h"

namespace mgarc::engine {

namespace {

const char* LeftOutReason(LeftOut why) {
  switch (why) {
    case LeftOut::kLoop:
      return "left out: a link back to a directory above it";
    case LeftOut::kEmptyDirectory:
      return "left out: an archive cannot hold an empty directory";
    case LeftOut::kNotAFile:
      break;
  }
  return "left out: neither a file nor a directory";
}

}  // namespace

PackedTree ReadPackedTree(const std::string& directory, const std::vector<FileIdentity>& leaveOut,
                          Observer& observer) {
  PackedTree tree;
  const std::filesystem::path root = PathFromUtf8(directory);
  std::error_code failure;
  if (!std::filesystem::is_directory(root, failure)) {
    tree.refused = Problem{directory, failure ? failure.message() : "not a directory"};
    return tree;
  }
  TreeListing listing = ListTree(root, leaveOut);
  if (!listing.failure.empty()) {
    tree.refused = Problem{directory, "cannot be read: " + listing.failure};
    return tree;
  }
  for (ListedFile& file : listing.files) {
    tree.files.push_back({std::move(file.path), std::move(file.relative), {}, file.size});
  }
  std::vector<Problem> notes;
  for (auto& [relative, why] : listing.leftOut) notes.push_back({relative, LeftOutReason(why)});
  // Reported in one order on every machine, whatever order the system lists.
  std::sort(tree.files.begin(), tree.files.end(),
            [](const PackedFile& a, const PackedFile& b) { return a.relative < b.relative; });
  std::sort(notes.begin(), notes.end(),
            [](const Problem& a, const Problem& b) { return a.subject < b.subject; });
  for (const Problem& note : notes) observer.ProblemFound(note);
  NameCodec codec;
  tree.problems =
      AssignStoredNames(tree.files, {EncodeWith(codec), DecodeWith(codec), UppercaseText});
  return tree;
}

}  // namespace mgarc::engine
