#include "platform/file_replacement.h"

#include <windows.h>

#include <atomic>
#include <cwchar>
#include <string>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}
std::intptr_t Stored(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

// Marks the file to go when its last handle closes, also when the process is
// killed, or takes the mark back before it is put in place.
bool DeleteOnLastClose(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) !=
         0;
}

// The file that target names at the end of its links; target itself when
// nothing is there yet.
std::filesystem::path ResolveLinks(const std::filesystem::path& target) {
  HANDLE file = CreateFileW(target.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return target;
  wchar_t resolved[32768];
  DWORD length = GetFinalPathNameByHandleW(file, resolved, 32768, FILE_NAME_NORMALIZED);
  CloseHandle(file);
  if (length == 0 || length >= 32768) return target;
  return std::filesystem::path(std::wstring(resolved, length));
}

// Identity and size of what path names, links followed.
bool Inspect(const std::filesystem::path& path, FileIdentity* identity, std::uint64_t* size) {
  HANDLE file = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  bool known = GetFileInformationByHandle(file, &info) != 0;
  CloseHandle(file);
  if (!known) return false;
  *identity = {info.dwVolumeSerialNumber,
               std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
  *size = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  return true;
}

}  // namespace

FileReplacement::~FileReplacement() {
  if (!done_) Discard();
}

void FileReplacement::Discard() {
  // Marked at creation: closing the last handle deletes it.
  if (file_.handle_ != -1) DeleteOnLastClose(Handle(file_.handle_), true);
  file_.Close();
  done_ = true;
}

// Every file needs a name on Windows: unnamed() stays false.
bool FileReplacement::Create(const std::filesystem::path& target, bool /*unnamed*/) {
  target_ = ResolveLinks(target);
  // A name is needed to open a file on Windows: a hidden one, deleted when
  // the last handle closes, also by a killed process, until Commit.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[32];
    std::swprintf(suffix, 32, L".mgarc-%08lx%04x", GetCurrentProcessId() ^ GetTickCount(),
                  counter++ & 0xFFFF);
    std::filesystem::path path =
        target_.parent_path() / (L"." + target_.filename().native() + suffix);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, kShareAll,
                              nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      error_ = static_cast<int>(GetLastError());
      if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) return false;
      continue;
    }
    if (!DeleteOnLastClose(file, true)) {
      error_ = static_cast<int>(GetLastError());
      CloseHandle(file);
      DeleteFileW(path.c_str());
      return false;
    }
    file_.handle_ = Stored(file);
    temporary_ = path;
    error_ = 0;
    return true;
  }
  return false;
}

bool FileReplacement::OpenWriter(OutputFile& writer) {
  // A file object of its own, so that the workers' writes do not wait on one
  // another; where a file marked for deletion cannot be opened again, the
  // same one, whose writes take turns.
  HANDLE file = ReOpenFile(Handle(file_.handle_), GENERIC_WRITE, kShareAll, 0);
  if (file == INVALID_HANDLE_VALUE &&
      !DuplicateHandle(GetCurrentProcess(), Handle(file_.handle_), GetCurrentProcess(), &file, 0,
                       FALSE, DUPLICATE_SAME_ACCESS)) {
    writer.error_ = static_cast<int>(GetLastError());
    return false;
  }
  writer.handle_ = Stored(file);
  return true;
}

bool FileReplacement::Commit() {
  HANDLE file = Handle(file_.handle_);
  // Write-through: the call returns once the rename is on the disk.
  if (!FlushFileBuffers(file) || !DeleteOnLastClose(file, false) ||
      !MoveFileExW(temporary_.c_str(), target_.c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    error_ = static_cast<int>(GetLastError());
    Discard();
    return false;
  }
  done_ = true;
  if (!file_.Close()) {
    error_ = file_.error();
    return false;
  }
  return true;
}

bool IdentifyPath(const std::filesystem::path& path, FileIdentity* identity) {
  std::uint64_t size = 0;
  return Inspect(path, identity, &size);
}

bool DescribePath(const std::filesystem::path& path, FileIdentity* identity, std::uint64_t* size) {
  return Inspect(path, identity, size);
}
