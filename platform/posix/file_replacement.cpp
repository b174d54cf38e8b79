#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/file_stream.h"

namespace {

// What the interrupt handler removes: a copy it can read without allocating.
char gRemoveOnInterrupt[4096];
constexpr int kInterrupts[] = {SIGINT, SIGTERM, SIGHUP};
struct sigaction gPrevious[3];

void RemoveAndDie(int signal) {
  if (gRemoveOnInterrupt[0] != '\0') unlink(gRemoveOnInterrupt);
  struct sigaction standard {};
  standard.sa_handler = SIG_DFL;
  sigaction(signal, &standard, nullptr);
  raise(signal);
}

}  // namespace

bool OutputFile::CreateTemporaryBeside(const std::filesystem::path& target,
                                       std::filesystem::path& created) {
  std::filesystem::path directory = target.parent_path();
  std::string name = "." + target.filename().string() + ".mgarc-XXXXXX";
  std::string pattern = (directory.empty() ? std::filesystem::path(name) : directory / name);
  int fd = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  // mkstemp makes it 0600; an archive is as readable as any new file.
  mode_t mask = umask(0);
  umask(mask);
  fchmod(fd, 0666 & ~mask);
  handle_ = fd;
  created = pattern;
  return true;
}

bool OutputFile::OpenForUpdate(const std::filesystem::path& path) {
  handle_ = open(path.c_str(), O_WRONLY | O_CLOEXEC);
  if (handle_ < 0) {
    error_ = errno;
    return false;
  }
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

bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to, int* error) {
  if (rename(from.c_str(), to.c_str()) != 0) {
    *error = errno;
    return false;
  }
  std::filesystem::path directory = to.parent_path();
  int fd = open(directory.empty() ? "." : directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd >= 0) {
    fsync(fd);
    close(fd);
  }
  return true;
}

RemoveOnInterrupt::RemoveOnInterrupt(const std::filesystem::path& path) {
  std::string text = std::filesystem::absolute(path).string();
  if (text.size() >= sizeof gRemoveOnInterrupt) text.clear();
  std::memcpy(gRemoveOnInterrupt, text.c_str(), text.size() + 1);
  struct sigaction action {};
  action.sa_handler = RemoveAndDie;
  sigemptyset(&action.sa_mask);
  for (int i = 0; i < 3; ++i) sigaction(kInterrupts[i], &action, &gPrevious[i]);
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
  for (int i = 0; i < 3; ++i) sigaction(kInterrupts[i], &gPrevious[i], nullptr);
  gRemoveOnInterrupt[0] = '\0';
}
