// The walk of the tree that create and update pack, and the stored names of
// its files.
#include "mgarc/engine/tree_walk.h"

#include <algorithm>
#include <filesystem>

#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/entry_names.h"
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

bool Excluded(const std::vector<std::string>& patterns, const std::string& relative) {
  for (const std::string& pattern : patterns) {
    for (std::size_t end = relative.find('/'); end != std::string::npos;
         end = relative.find('/', end + 1)) {
      if (GlobMatches(pattern, std::string_view(relative).substr(0, end), UppercaseText)) {
        return true;
      }
    }
    if (GlobMatches(pattern, relative, UppercaseText)) return true;
  }
  return false;
}

PackedTree ReadPackedTree(const std::string& directory, const std::vector<FileIdentity>& leaveOut,
                          const std::vector<std::string>& exclude, Observer& observer,
                          unsigned workers) {
  PackedTree tree;
  const std::filesystem::path root = PathFromUtf8(directory);
  std::error_code failure;
  if (!std::filesystem::is_directory(root, failure)) {
    tree.refused = Problem{directory, failure ? failure.message() : "not a directory"};
    return tree;
  }
  TreeListing listing = ListTree(root, leaveOut, workers);
  if (!listing.failure.empty()) {
    tree.refused = Problem{directory, "cannot be read: " + listing.failure};
    return tree;
  }
  tree.files.reserve(listing.files.size());
  for (ListedFile& file : listing.files) {
    if (Excluded(exclude, file.relative)) continue;
    tree.files.push_back({std::move(file.path), std::move(file.relative), {}, file.size});
  }
  std::vector<Problem> notes;
  for (auto& [relative, why] : listing.leftOut) {
    if (!Excluded(exclude, relative)) notes.push_back({relative, LeftOutReason(why)});
  }
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
