#include "platform/tree_listing.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

FileIdentity Identity(const struct stat& info) {
  return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
}

// A directory waiting to be read: its path and relative name end in '/'
// (the root's relative name is ""), with the directories from the root down
// to it, itself included: a link to one of them would lead round for ever.
// Another link to a directory is followed.
struct PendingDirectory {
  std::string path;
  std::string relative;
  std::vector<FileIdentity> ancestors;
};

// Directories are read by several workers at once, each taking the next one
// waiting; each name is asked about relative to its directory's handle (one
// look-up of one level, where a walk by paths looks every level up again).
// Only pending directories are held, as paths, so a wide tree holds no more
// handles than there are workers.
class Walk {
 public:
  Walk(const std::vector<FileIdentity>& leaveOut, TreeListing& listing)
      : leaveOut_(leaveOut), listing_(listing) {}

  void Run(const std::filesystem::path& root, unsigned workers) {
    std::string base = root.native();
    if (base.empty() || base.back() != '/') base += '/';
    pending_.push_back({base, "", {}});
    std::vector<std::thread> threads;
    for (unsigned w = 1; w < workers; ++w) threads.emplace_back([this] { Work(); });
    Work();
    for (std::thread& thread : threads) thread.join();
  }

 private:
  // What one directory holds, added to the listing once it is read.
  struct Found {
    std::vector<ListedFile> files;
    std::vector<std::pair<std::string, LeftOut>> leftOut;
  };

  void Work() {
    Found found;
    std::vector<PendingDirectory> below;
    std::unique_lock lock(mutex_);
    for (;;) {
      changed_.wait(lock, [this] { return !pending_.empty() || busy_ == 0; });
      if (pending_.empty() || !listing_.failure.empty()) break;
      PendingDirectory directory = std::move(pending_.back());
      pending_.pop_back();
      ++busy_;
      lock.unlock();
      const int error = Read(directory, found, below);
      lock.lock();
      --busy_;
      if (error != 0 && listing_.failure.empty()) {
        listing_.failure = std::generic_category().message(error);
      }
      for (PendingDirectory& next : below) pending_.push_back(std::move(next));
      for (ListedFile& file : found.files) listing_.files.push_back(std::move(file));
      for (auto& left : found.leftOut) listing_.leftOut.push_back(std::move(left));
      below.clear();
      found.files.clear();
      found.leftOut.clear();
      changed_.notify_all();
    }
    // Others waiting for work are let go: there is none, or the walk failed.
    changed_.notify_all();
  }

  // Lists one directory into found, its subdirectories into below; the
  // system's error code when it cannot be read, else 0.
  int Read(PendingDirectory& directory, Found& found, std::vector<PendingDirectory>& below) {
    const int fd = open(directory.path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    struct stat info {};
    if (fd < 0 || fstat(fd, &info) != 0) {
      const int error = errno;
      if (fd >= 0) close(fd);
      return error;
    }
    directory.ancestors.push_back(Identity(info));
    DIR* listing = fdopendir(fd);
    if (listing == nullptr) {
      const int error = errno;
      close(fd);
      return error;
    }
    std::size_t children = 0;
    int error = 0;
    errno = 0;
    while (struct dirent* entry = readdir(listing)) {
      const char* name = entry->d_name;
      if (std::strcmp(name, ".") == 0 || std::strcmp(name, "..") == 0) continue;
      ++children;
      std::string relative = directory.relative + name;
      if (fstatat(fd, name, &info, 0) != 0) {
        found.leftOut.emplace_back(std::move(relative), LeftOut::kNotAFile);
      } else if (S_ISREG(info.st_mode)) {
        if (std::find(leaveOut_.begin(), leaveOut_.end(), Identity(info)) == leaveOut_.end()) {
          found.files.push_back({directory.path + name, std::move(relative),
                                 static_cast<std::uint64_t>(info.st_size)});
        }
      } else if (S_ISDIR(info.st_mode)) {
        const std::vector<FileIdentity>& above = directory.ancestors;
        if (std::find(above.begin(), above.end(), Identity(info)) != above.end()) {
          found.leftOut.emplace_back(std::move(relative), LeftOut::kLoop);
        } else {
          below.push_back({directory.path + name + "/", relative + "/", above});
        }
      } else {
        found.leftOut.emplace_back(std::move(relative), LeftOut::kNotAFile);
      }
      errno = 0;
    }
    if (errno != 0) error = errno;
    closedir(listing);
    if (children == 0 && !directory.relative.empty() && error == 0) {
      directory.relative.pop_back();
      found.leftOut.emplace_back(std::move(directory.relative), LeftOut::kEmptyDirectory);
    }
    return error;
  }

  const std::vector<FileIdentity>& leaveOut_;
  TreeListing& listing_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<PendingDirectory> pending_;
  unsigned busy_ = 0;  // workers reading a directory: they may add more
};

}  // namespace

TreeListing ListTree(const std::filesystem::path& root, const std::vector<FileIdentity>& skip,
                     unsigned workers) {
  TreeListing listing;
  if (workers == 0) workers = std::max(1u, std::thread::hardware_concurrency());
  Walk(skip, listing).Run(root, workers);
  return listing;
}
