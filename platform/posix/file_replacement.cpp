#include "platform/file_replacement.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>

namespace {

// The hidden name the interrupt handler removes: a copy it reads without
// allocating, filled in place by mkostemp, so that no moment passes between
// the file's creation and the handler knowing it.
char gRemoveOnInterrupt[4096];
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[3];
bool gArmed = false;

void RemoveAndDie(int signal) {
  if (gRemoveOnInterrupt[0] != '\0') unlink(gRemoveOnInterrupt);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigaction(signal, &standard, nullptr);
  raise(signal);
}

// Puts path where the handler finds it, and the handler in place; false when
// the path is too long to keep.
bool Arm(const std::string& path) {
  if (path.size() >= sizeof gRemoveOnInterrupt) return false;
  std::memcpy(gRemoveOnInterrupt, path.c_str(), path.size() + 1);
  if (!gArmed) {
    struct sigaction action {};
    action.sa_handler = RemoveAndDie;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kInterrupts[i], &action, &gPrevious[i]);
    gArmed = true;
  }
  return true;
}

void Disarm() {
  if (gArmed) {
    for (int i = 0; i < 3; ++i) sigaction(kInterrupts[i], &gPrevious[i], nullptr);
    gArmed = false;
  }
  gRemoveOnInterrupt[0] = '\0';
}

// The file that target names at the end of its links, which need not exist.
bool ResolveLinks(std::filesystem::path target, std::filesystem::path& resolved, int* error) {
  for (int hop = 0; hop < 40; ++hop) {
    std::error_code notALink;
    std::filesystem::path next = std::filesystem::read_symlink(target, notALink);
    if (notALink) {
      resolved = target;
      return true;
    }
    target = next.is_absolute() ? next : target.parent_path() / next;
  }
  *error = ELOOP;
  return false;
}

std::string HiddenName(const std::filesystem::path& target, const char* suffix) {
  std::string name = "." + target.filename().string() + ".mgarc-" + suffix;
  return target.has_parent_path() ? (target.parent_path() / name).string() : name;
}

void SyncDirectory(const std::filesystem::path& file) {
  std::filesystem::path directory = file.parent_path();
  int fd = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
}

}  // namespace

FileReplacement::~FileReplacement() {
  if (!done_) Discard();
}

void FileReplacement::Discard() {
  file_.Close();
  if (!temporary_.empty()) unlink(temporary_.c_str());
  temporary_.clear();
  Disarm();
  done_ = true;
}

bool FileReplacement::Create(const std::filesystem::path& target, bool unnamed) {
  if (!ResolveLinks(target, target_, &error_)) return false;
  struct stat old {};
  if (stat(target_.c_str(), &old) == 0) {
    mode_ = old.st_mode & 07777;
  } else {
    mode_t mask = umask(0);
    umask(mask);
    mode_ = 0666 & ~mask;
  }
  if (unnamed) {
    std::filesystem::path directory = target_.parent_path();
    int fd =
        open(directory.empty() ? "." : directory.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (fd >= 0) {
      file_.handle_ = fd;
      unnamed_ = true;
      return true;
    }
    // Refused by the file system (or by a kernel without O_TMPFILE): a name.
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
      error_ = errno;
      return false;
    }
  }
  if (!Arm(HiddenName(target_, "XXXXXX"))) {
    error_ = ENAMETOOLONG;
    return false;
  }
  int fd = mkostemp(gRemoveOnInterrupt, O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    Disarm();
    return false;
  }
  file_.handle_ = fd;
  temporary_ = gRemoveOnInterrupt;
  return true;
}

bool FileReplacement::OpenWriter(OutputFile& writer) {
  // A handle of its own where /proc is mounted, else the same one again:
  // positioned writes need no position of their own.
  std::string self = "/proc/self/fd/" + std::to_string(file_.handle_);
  int fd = open(self.c_str(), O_WRONLY | O_CLOEXEC);
  if (fd < 0) fd = fcntl(static_cast<int>(file_.handle_), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) {
    writer.error_ = errno;
    return false;
  }
  writer.handle_ = fd;
  return true;
}

bool FileReplacement::Commit() {
  const int fd = static_cast<int>(file_.handle_);
  bool named = !unnamed_;
  if (fchmod(fd, static_cast<mode_t>(mode_)) != 0 || fsync(fd) != 0) {
    error_ = errno;
  }
  // An unnamed file gets a hidden name first: a link cannot replace a file.
  std::random_device random;
  for (int attempt = 0; error_ == 0 && !named && attempt < 100; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%06x", random() & 0xFFFFFF);
    std::string name = HiddenName(target_, suffix);
    if (!Arm(name)) {
      error_ = ENAMETOOLONG;
      break;
    }
    std::string self = "/proc/self/fd/" + std::to_string(fd);
    int linked = linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW);
    if (linked != 0 && errno == ENOENT) {
      linked = linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH);
    }
    if (linked == 0) {
      temporary_ = name;
      named = true;
    } else if (errno != EEXIST) {
      error_ = errno;
    }
  }
  if (error_ == 0 && !named) error_ = EEXIST;
  if (error_ == 0 && !file_.Close()) error_ = file_.error();
  if (error_ == 0 && rename(temporary_.c_str(), target_.c_str()) != 0) error_ = errno;
  if (error_ != 0) {
    Discard();
    return false;
  }
  temporary_.clear();
  SyncDirectory(target_);
  Disarm();
  done_ = true;
  return true;
}

bool IdentifyPath(const std::filesystem::path& path, FileIdentity* identity) {
  std::uint64_t size = 0;
  return DescribePath(path, identity, &size);
}

bool DescribePath(const std::filesystem::path& path, FileIdentity* identity, std::uint64_t* size) {
  struct stat info {};
  if (stat(path.c_str(), &info) != 0) return false;
  *identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  *size = static_cast<std::uint64_t>(info.st_size);
  return true;
}
