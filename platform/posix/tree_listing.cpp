#include "platform/tree_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

namespace {

// Each directory is read through its handle, and each name in it asked about
// relative to that handle: one look-up of one level per name, and one per
// file, where a walk by paths looks every level up again, twice.
class Walk {
 public:
  Walk(const std::vector<FileIdentity>& leaveOut, TreeListing& walk)
      : leaveOut_(leaveOut), walk_(walk) {}

  void Root(const std::filesystem::path& root) {
    int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
      Fail(errno);
      if (fd >= 0) close(fd);
      return;
    }
    ancestors_.push_back(Identity(info));
    std::string base = root.native();
    if (base.empty() || base.back() != '/') base += '/';
    Directory(fd, base, "");
  }

 private:
  static FileIdentity Identity(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  }

  void Fail(int error) {
    if (walk_.failure.empty()) walk_.failure = std::generic_category().message(error);
  }

  // Walks the directory open as fd (and closes it); path and relative end in
  // '/' unless relative is the root's "". Returns how many things it holds.
  std::size_t Directory(int fd, const std::string& path, const std::string& relative) {
    DIR* listing = fdopendir(fd);
    if (listing == nullptr) {
      Fail(errno);
      close(fd);
      return 0;
    }
    std::size_t children = 0;
    errno = 0;
    while (struct dirent* entry = readdir(listing)) {
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      ++children;
      std::string itsRelative = relative + name;
      struct stat info {};
      if (fstatat(fd, name, &info, 0) != 0) {
        walk_.leftOut.emplace_back(itsRelative, LeftOut::kNotAFile);
      } else if (S_ISREG(info.st_mode)) {
        FileIdentity identity = Identity(info);
        if (std::find(leaveOut_.begin(), leaveOut_.end(), identity) == leaveOut_.end()) {
          walk_.files.push_back({std::filesystem::path(path + name), itsRelative,
                                 static_cast<std::uint64_t>(info.st_size)});
        }
      } else if (S_ISDIR(info.st_mode)) {
        FileIdentity identity = Identity(info);
        if (std::find(ancestors_.begin(), ancestors_.end(), identity) != ancestors_.end()) {
          walk_.leftOut.emplace_back(itsRelative, LeftOut::kLoop);
        } else {
          int below = openat(fd, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
          if (below < 0) {
            Fail(errno);
            break;
          }
          ancestors_.push_back(identity);
          std::size_t held = Directory(below, path + name + "/", itsRelative + "/");
          ancestors_.pop_back();
          if (held == 0 && walk_.failure.empty()) {
            walk_.leftOut.emplace_back(itsRelative, LeftOut::kEmptyDirectory);
          }
        }
      } else {
        walk_.leftOut.emplace_back(itsRelative, LeftOut::kNotAFile);
      }
      if (!walk_.failure.empty()) break;
      errno = 0;
    }
    if (errno != 0) Fail(errno);
    closedir(listing);
    return children;
  }

  const std::vector<FileIdentity>& leaveOut_;
  TreeListing& walk_;
  // The directories from the root down to where the walk stands: a link to
  // one of them would lead round for ever. Another link to a directory is followed.
  std::vector<FileIdentity> ancestors_;
};

}  // namespace

TreeListing ListTree(const std::filesystem::path& root, const std::vector<FileIdentity>& skip) {
  TreeListing listing;
  Walk(skip, listing).Root(root);
  return listing;
}
