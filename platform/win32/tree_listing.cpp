#include "platform/tree_listing.h"

#include <algorithm>
#include <map>
#include <system_error>

#include "platform/win32/wide_text.h"

namespace {

std::string Utf8Of(const std::filesystem::path& path) {
  return Utf8FromWide(path.generic_wstring());
}

}  // namespace

TreeListing ListTree(const std::filesystem::path& root, const std::vector<FileIdentity>& leaveOut,
                     unsigned /*workers*/) {
  TreeListing walk;
  // The directories from root down to where the walk stands: a link to one of
  // them would lead round for ever. Another link to a directory is followed.
  std::vector<FileIdentity> ancestors(1);
  std::map<std::filesystem::path, int> childrenOf;  // directories, with how many things each holds
  IdentifyPath(root, &ancestors[0]);
  std::error_code failure;
  std::filesystem::recursive_directory_iterator it(
      root, std::filesystem::directory_options::follow_directory_symlink, failure);
  for (; !failure && it != std::filesystem::recursive_directory_iterator(); it.increment(failure)) {
    const std::filesystem::path& path = it->path();
    std::string relative = Utf8Of(path.lexically_relative(root));
    ++childrenOf[path.parent_path()];
    std::error_code statusFailure;
    std::filesystem::file_status status = it->status(statusFailure);
    FileIdentity identity;
    if (std::filesystem::is_directory(status)) {
      childrenOf.try_emplace(path, 0);
      ancestors.resize(static_cast<std::size_t>(it.depth()) + 1);
      if (IdentifyPath(path, &identity) &&
          std::find(ancestors.begin(), ancestors.end(), identity) != ancestors.end()) {
        walk.leftOut.emplace_back(relative, LeftOut::kLoop);
        childrenOf.erase(path);
        it.disable_recursion_pending();
      } else {
        ancestors.push_back(identity);
      }
    } else if (std::filesystem::is_regular_file(status)) {
      std::uint64_t size = 0;
      if (!DescribePath(path, &identity, &size)) {
        walk.failure = relative + ": it went while the tree was read";
        return walk;
      }
      if (std::find(leaveOut.begin(), leaveOut.end(), identity) == leaveOut.end()) {
        walk.files.push_back({path.native(), relative, size});
      }
    } else {
      walk.leftOut.emplace_back(relative, LeftOut::kNotAFile);
    }
  }
  if (failure) {
    walk.failure = SystemErrorUtf8(failure.value());
    return walk;
  }
  for (const auto& [directory, children] : childrenOf) {
    if (children == 0 && directory != root) {
      walk.leftOut.emplace_back(Utf8Of(directory.lexically_relative(root)),
                                LeftOut::kEmptyDirectory);
    }
  }
  return walk;
}
