#include <windows.h>

#include "platform/file_stream.h"
// The function of that name here, not the A/W macro.
#undef ReplaceFile

#include <atomic>
#include <cwchar>

namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

std::intptr_t Stored(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

// What the console's interrupt handler removes: a copy it reads without
// allocating, armed only while a RemoveOnInterrupt lives.
wchar_t gRemoveOnInterrupt[32768];
std::atomic<bool> gArmed{false};

BOOL WINAPI RemoveThenGoOn(DWORD) {
  // The workers' handles share deletion: the file goes when the last closes.
  if (gArmed.exchange(false)) DeleteFileW(gRemoveOnInterrupt);
  return FALSE;  // the next handler ends the program as it would have
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

bool OutputFile::CreateTemporaryBeside(const std::filesystem::path& target,
                                       std::filesystem::path& created) {
  // The workers open it again for their parts, and an interrupt may remove it
  // while they write: every handle shares writing and deletion.
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 100; ++attempt) {
    wchar_t suffix[32];
    std::swprintf(suffix, 32, L".mgarc-%08lx%04x", GetCurrentProcessId() ^ GetTickCount(),
                  counter++ & 0xFFFF);
    std::filesystem::path path =
        target.parent_path() / (L"." + target.filename().native() + suffix);
    HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
      handle_ = Stored(file);
      created = path;
      return true;
    }
    error_ = static_cast<int>(GetLastError());
    if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS) return false;
  }
  return false;
}

bool OutputFile::OpenForUpdate(const std::filesystem::path& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  handle_ = Stored(file);
  return true;
}

bool IdentifyPath(const std::filesystem::path& path, FileIdentity* identity) {
  std::uint64_t size = 0;
  return Inspect(path, identity, &size);
}

bool DescribePath(const std::filesystem::path& path, FileIdentity* identity, std::uint64_t* size) {
  return Inspect(path, identity, size);
}

bool ReplaceFile(const std::filesystem::path& from, const std::filesystem::path& to, int* error) {
  // Write-through: the call returns once the rename is on the disk.
  if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    *error = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

// Ctrl+C, Ctrl+Break and a closed console reach the program as a call on a
// thread of its own, not as a signal.
RemoveOnInterrupt::RemoveOnInterrupt(const std::filesystem::path& path) {
  DWORD length = GetFullPathNameW(path.c_str(), 32768, gRemoveOnInterrupt, nullptr);
  if (length == 0 || length >= 32768) return;
  gArmed = true;
  SetConsoleCtrlHandler(RemoveThenGoOn, TRUE);
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
  gArmed = false;
  SetConsoleCtrlHandler(RemoveThenGoOn, FALSE);
}
