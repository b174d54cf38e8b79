#include "platform/file_stream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

static_assert(sizeof(off_t) >= 8, "archives reach 4 GiB: offsets must be 64-bit");

namespace {

int Fd(std::intptr_t handle) {
  return static_cast<int>(handle);
}

// Reads until size bytes, the end of the file or an error; from the current
// position, or from *position when given.
std::size_t ReadFully(int fd, const std::uint64_t* position, void* buffer, std::size_t size,
                      int* error) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    ssize_t got = position == nullptr
                      ? read(fd, bytes + done, size - done)
                      : pread(fd, bytes + done, size - done, static_cast<off_t>(*position + done));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) {
      *error = errno;
      break;
    }
    if (got == 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

// Below a few pages the kernel's range copy costs more than a read and a write.
constexpr std::size_t kSmallCopy = 64 * 1024;

}  // namespace

InputFile::~InputFile() {
  if (Fd(handle_) >= 0 && !borrowed_) close(Fd(handle_));
}

bool InputFile::Open(const char* path) {
  // O_NONBLOCK: a FIFO opens at once instead of waiting for a writer.
  int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    error_ = errno;
    return false;
  }
  struct stat info {};
  if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    error_ = S_ISDIR(info.st_mode) ? EISDIR : kNotARegularFile;
    close(fd);
    return false;
  }
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  handle_ = fd;
  return true;
}

bool InputFile::OpenWalked(const NativePath& path) {
  // O_NONBLOCK: a FIFO put in the file's place since the walk is not waited for.
  handle_ = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (Fd(handle_) < 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool InputFile::OpenStream(const std::filesystem::path& path) {
  handle_ = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (Fd(handle_) < 0) {
    error_ = errno;
    return false;
  }
  return true;
}

void InputFile::UseStandardInput() {
  handle_ = 0;
  borrowed_ = true;
}

bool InputFile::Open(const std::filesystem::path& path) {
  return Open(path.c_str());
}

bool InputFile::Describe(std::uint64_t* size, FileIdentity* identity, std::int64_t* modified) {
  struct stat info {};
  if (fstat(Fd(handle_), &info) != 0) {
    error_ = errno;
    return false;
  }
  *size = static_cast<std::uint64_t>(info.st_size);
  *identity = {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino)};
  *modified = static_cast<std::int64_t>(info.st_mtime);
  return true;
}

bool InputFile::Seek(std::uint64_t position) {
  if (lseek(Fd(handle_), static_cast<off_t>(position), SEEK_SET) < 0) {
    error_ = errno;
    return false;
  }
  return true;
}

std::size_t InputFile::Read(void* buffer, std::size_t size) {
  return ReadFully(Fd(handle_), nullptr, buffer, size, &error_);
}

std::size_t InputFile::ReadAt(std::uint64_t position, void* buffer, std::size_t size) {
  return ReadFully(Fd(handle_), &position, buffer, size, &error_);
}

std::size_t InputFile::ReadOnceAt(std::uint64_t position, void* buffer, std::size_t size) {
  for (;;) {
    ssize_t got = pread(Fd(handle_), buffer, size, static_cast<off_t>(position));
    if (got >= 0) return static_cast<std::size_t>(got);
    if (errno != EINTR) {
      error_ = errno;
      return 0;
    }
  }
}

bool InputFile::IsSameFileAs(const char* path) const {
  struct stat mine {};
  struct stat other {};
  return fstat(Fd(handle_), &mine) == 0 && stat(path, &other) == 0 && mine.st_dev == other.st_dev &&
         mine.st_ino == other.st_ino;
}

OutputFile::~OutputFile() {
  if (Fd(handle_) >= 0) close(Fd(handle_));
}

bool OutputFile::Create(const char* path) {
  handle_ = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  if (Fd(handle_) < 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool OutputFile::CreateNew(const char* path, bool* existed) {
  handle_ = open(path, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  *existed = Fd(handle_) < 0 && errno == EEXIST;
  if (Fd(handle_) < 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool OutputFile::WriteAt(std::uint64_t at, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    ssize_t put = pwrite(Fd(handle_), bytes, size, static_cast<off_t>(at));
    if (put < 0 && errno == EINTR) continue;
    if (put < 0) {
      error_ = errno;
      return false;
    }
    bytes += put;
    at += static_cast<std::uint64_t>(put);
    size -= static_cast<std::size_t>(put);
  }
  return true;
}

bool OutputFile::Sync() {
  if (fsync(Fd(handle_)) != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

std::uint64_t OutputFile::CopyFrom(InputFile& source, std::uint64_t position, std::uint64_t size,
                                   std::uint64_t at) {
  if (size < kSmallCopy) return 0;
  std::uint64_t done = 0;
  while (done < size) {
    off64_t from = static_cast<off64_t>(position + done);
    off64_t to = static_cast<off64_t>(at + done);
    ssize_t copied = copy_file_range(Fd(source.handle_), &from, Fd(handle_), &to,
                                     static_cast<std::size_t>(size - done), 0);
    if (copied < 0 && errno == EINTR) continue;
    if (copied <= 0) break;
    done += static_cast<std::uint64_t>(copied);
  }
  return done;
}

bool OutputFile::Close() {
  int fd = static_cast<int>(handle_);
  handle_ = -1;
  if (fd >= 0 && close(fd) != 0) {
    error_ = errno;
    return false;
  }
  return true;
}

bool PathNamesFile(const char* path) {
  struct stat info {};
  return stat(path, &info) == 0 && !S_ISDIR(info.st_mode);
}

void SystemErrorText(int error, char* out, std::size_t size) {
  std::snprintf(out, size, "%s", SystemErrorUtf8(error).c_str());
}

std::string SystemErrorUtf8(int error) {
  if (error == kNotARegularFile) return "not a regular file";
  // mgarc leaves the C locale in place: the text is ASCII.
  return std::strerror(error);
}
