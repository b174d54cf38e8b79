#include "platform/output_directory.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

// The system would read a '/' as a way into another directory (through
// whatever link stands there) and end the name at a zero byte.
bool IsOneLevel(const std::string& name) {
  return !name.empty() && name != ".." && name.find('/') == std::string::npos &&
         name.find('\0') == std::string::npos;
}

}  // namespace

OutputDirectory::~OutputDirectory() {
  if (Fd(handle_) >= 0) close(Fd(handle_));
}

OutputDirectory::OutputDirectory(OutputDirectory&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), error_(other.error_) {}

OutputDirectory& OutputDirectory::operator=(OutputDirectory&& other) noexcept {
  if (this != &other) {
    if (Fd(handle_) >= 0) close(Fd(handle_));
    handle_ = std::exchange(other.handle_, -1);
    error_ = other.error_;
  }
  return *this;
}

bool OutputDirectory::OpenRoot(const std::filesystem::path& root) {
  std::error_code failure;
  std::filesystem::create_directories(root, failure);
  int fd = open(root.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    error_ = failure ? failure.value() : errno;
    return false;
  }
  handle_ = fd;
  return true;
}

PlaceOutcome OutputDirectory::OpenLevel(const std::string& name, OutputDirectory& level) const {
  if (!IsOneLevel(name)) return PlaceOutcome::kNotOneLevel;
  const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
  int fd = openat(Fd(handle_), name.c_str(), flags);
  if (fd < 0 && errno == ENOENT) {
    // Another worker may make it at the same moment: that is no failure.
    if (mkdirat(Fd(handle_), name.c_str(), 0777) != 0 && errno != EEXIST) {
      error_ = errno;
      return PlaceOutcome::kFailed;
    }
    fd = openat(Fd(handle_), name.c_str(), flags);
  }
  if (fd < 0) {
    error_ = errno;
    struct stat info {};
    if (fstatat(Fd(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
      if (S_ISLNK(info.st_mode)) return PlaceOutcome::kThroughLink;
      if (!S_ISDIR(info.st_mode)) return PlaceOutcome::kNotADirectory;
    }
    return PlaceOutcome::kFailed;
  }
  level = OutputDirectory();
  level.handle_ = fd;
  return PlaceOutcome::kOk;
}

PlaceOutcome OutputDirectory::CreateEntryFile(const std::string& name, bool replaceExisting,
                                              const FileIdentity& archive, OutputFile& file) const {
  if (!IsOneLevel(name)) return PlaceOutcome::kNotOneLevel;
  const int flags = O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC;
  for (int attempt = 0; attempt < 3; ++attempt) {
    int fd = openat(Fd(handle_), name.c_str(), flags, 0666);
    if (fd >= 0) {
      file.handle_ = fd;
      return PlaceOutcome::kOk;
    }
    if (errno != EEXIST) break;
    struct stat info {};
    if (fstatat(Fd(handle_), name.c_str(), &info, AT_SYMLINK_NOFOLLOW) != 0) continue;
    if (S_ISDIR(info.st_mode)) return PlaceOutcome::kIsDirectory;
    FileIdentity found{static_cast<std::uint64_t>(info.st_dev),
                       static_cast<std::uint64_t>(info.st_ino)};
    if (found == archive) return PlaceOutcome::kIsArchive;
    if (!replaceExisting) return PlaceOutcome::kExists;
    // Removed, not emptied: a link goes, not its target; a hard link's other names keep theirs.
    if (unlinkat(Fd(handle_), name.c_str(), 0) != 0 && errno != ENOENT) break;
  }
  error_ = errno;
  return PlaceOutcome::kFailed;
}

bool OutputDirectory::OpenEntryFile(const std::string& name, InputFile& file) const {
  if (!IsOneLevel(name)) return false;
  // O_NONBLOCK: a FIFO there is not waited for; it is no regular file anyway.
  int fd = openat(Fd(handle_), name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  struct stat info {};
  if (fd < 0 || fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error_ = fd < 0 ? errno : EINVAL;
    if (fd >= 0) close(fd);
    return false;
  }
  file.handle_ = fd;
  return true;
}

bool OutputDirectory::RemoveEntryFile(const std::string& name) const {
  if (unlinkat(Fd(handle_), name.c_str(), 0) == 0) return true;
  error_ = errno;
  return false;
}
