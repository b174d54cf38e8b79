#include "platform/output_directory.h"

#include <windows.h>

#include <system_error>
#include <utility>

#include "platform/win32/wide_text.h"

namespace {

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}
std::intptr_t Stored(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// The path absolute and with the "\\?\" prefix, so that no length limit
// applies below it and names reach the file system unchanged. Device paths
// ("\\.\NUL") stay as they are.
std::wstring ExtendedPath(const std::filesystem::path& path) {
  DWORD size = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path.wstring();
  std::wstring full(size, L'\0');
  full.resize(GetFullPathNameW(path.c_str(), size, full.data(), nullptr));
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (full.rfind(L"\\\\", 0) == 0 && full.rfind(L"\\\\?\\", 0) != 0 &&
      full.rfind(L"\\\\.\\", 0) != 0) {
    return L"\\\\?\\UNC\\" + full.substr(2);
  }
  return full;
}

struct Examined {
  bool directory = false;
  bool link = false;
  FileIdentity identity;
};

// What an open handle reaches. A link is a symbolic link or a junction (a
// reparse point that is another name for something); other reparse points,
// such as cloud files' placeholders, are what they hold.
bool Examine(HANDLE handle, Examined* examined) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info)) return false;
  examined->identity = {info.dwVolumeSerialNumber,
                        std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
  examined->directory = (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  if ((info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    FILE_ATTRIBUTE_TAG_INFO tag{};
    examined->link =
        !GetFileInformationByHandleEx(handle, FileAttributeTagInfo, &tag, sizeof tag) ||
        IsReparseTagNameSurrogate(tag.ReparseTag);
  }
  return true;
}

// Opens what is at path itself, a link there included (never its target).
HANDLE OpenItself(const std::wstring& path, DWORD access, DWORD share) {
  return CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING,
                     FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
}

// Creates the directory at path when missing; ERROR_SUCCESS when it is there
// already (another worker may make it at the same moment). The caller opens
// what is there either way and tells this failure only when that fails too: a
// drive's root refuses to be made, yet opens.
DWORD MakeDirectory(const std::wstring& path) {
  if (CreateDirectoryW(path.c_str(), nullptr)) return ERROR_SUCCESS;
  DWORD failure = GetLastError();
  return failure == ERROR_ALREADY_EXISTS ? ERROR_SUCCESS : failure;
}

// Without FILE_SHARE_DELETE: a directory held so cannot be renamed or removed
// while files are written into it.
HANDLE HoldDirectory(const std::wstring& path) {
  return OpenItself(path, FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE);
}

// Windows would read '\\' or '/' as a way into another directory and end
// the name at a zero character.
bool IsOneLevel(const std::string& name, const std::wstring& wide) {
  return name.find('\0') == std::string::npos && !wide.empty() && wide != L".." &&
         wide.find_first_of(L"/\\") == std::wstring::npos;
}

}  // namespace

OutputDirectory::~OutputDirectory() {
  if (Handle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(Handle(handle_));
}

OutputDirectory::OutputDirectory(OutputDirectory&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)),
      path_(std::move(other.path_)),
      error_(other.error_) {}

OutputDirectory& OutputDirectory::operator=(OutputDirectory&& other) noexcept {
  if (this != &other) {
    if (Handle(handle_) != INVALID_HANDLE_VALUE) CloseHandle(Handle(handle_));
    handle_ = std::exchange(other.handle_, -1);
    path_ = std::move(other.path_);
    error_ = other.error_;
  }
  return *this;
}

bool OutputDirectory::OpenRoot(const std::filesystem::path& root) {
  // The parents; the root's own failure, if any, is the one told below.
  std::error_code ignored;
  std::filesystem::create_directories(root, ignored);
  std::wstring path = ExtendedPath(root);
  DWORD made = MakeDirectory(path);
  // The user named the root: a link there is followed.
  HANDLE directory =
      CreateFileW(path.c_str(), FILE_LIST_DIRECTORY, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (directory == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(made != ERROR_SUCCESS ? made : GetLastError());
    return false;
  }
  Examined examined;
  bool known = Examine(directory, &examined);
  if (!known || !examined.directory) {
    error_ = known ? ERROR_DIRECTORY : static_cast<int>(GetLastError());
    CloseHandle(directory);
    return false;
  }
  handle_ = Stored(directory);
  path_ = path;
  return true;
}

PlaceOutcome OutputDirectory::OpenLevel(const std::string& name, OutputDirectory& level) const {
  const std::wstring wide = WideFromCodePage(name.c_str(), 932);
  if (!IsOneLevel(name, wide)) return PlaceOutcome::kNotOneLevel;
  std::wstring path = path_.native() + L"\\" + wide;
  DWORD made = MakeDirectory(path);
  HANDLE directory = HoldDirectory(path);
  if (directory == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(made != ERROR_SUCCESS ? made : GetLastError());
    return PlaceOutcome::kFailed;
  }
  Examined examined;
  PlaceOutcome outcome = PlaceOutcome::kOk;
  if (!Examine(directory, &examined)) {
    error_ = static_cast<int>(GetLastError());
    outcome = PlaceOutcome::kFailed;
  } else if (examined.link) {
    outcome = PlaceOutcome::kThroughLink;
  } else if (!examined.directory) {
    outcome = PlaceOutcome::kNotADirectory;
  }
  if (outcome != PlaceOutcome::kOk) {
    CloseHandle(directory);
    return outcome;
  }
  level = OutputDirectory();
  level.handle_ = Stored(directory);
  level.path_ = std::move(path);
  return PlaceOutcome::kOk;
}

PlaceOutcome OutputDirectory::CreateEntryFile(const std::string& name, bool replaceExisting,
                                              const FileIdentity& archive, OutputFile& file) const {
  const std::wstring wide = WideFromCodePage(name.c_str(), 932);
  if (!IsOneLevel(name, wide)) return PlaceOutcome::kNotOneLevel;
  const std::wstring path = path_.native() + L"\\" + wide;
  for (int attempt = 0; attempt < 3; ++attempt) {
    HANDLE created = CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_NEW,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created != INVALID_HANDLE_VALUE) {
      file.handle_ = Stored(created);
      return PlaceOutcome::kOk;
    }
    error_ = static_cast<int>(GetLastError());
    if (error_ != ERROR_FILE_EXISTS && error_ != ERROR_ALREADY_EXISTS &&
        error_ != ERROR_ACCESS_DENIED) {
      break;
    }
    HANDLE existing = OpenItself(path, 0, kShareAll);
    if (existing == INVALID_HANDLE_VALUE) {
      if (GetLastError() == ERROR_FILE_NOT_FOUND) continue;  // gone meanwhile
      break;
    }
    Examined examined;
    bool known = Examine(existing, &examined);
    CloseHandle(existing);
    if (!known) break;
    if (examined.directory && !examined.link) return PlaceOutcome::kIsDirectory;
    if (examined.identity == archive) return PlaceOutcome::kIsArchive;
    if (!replaceExisting) return PlaceOutcome::kExists;
    // Removed, not emptied: a link goes, not its target; a hard link's other
    // names keep theirs. A link to a directory is removed as a directory.
    bool removed = examined.directory ? RemoveDirectoryW(path.c_str()) : DeleteFileW(path.c_str());
    if (!removed && GetLastError() != ERROR_FILE_NOT_FOUND) {
      error_ = static_cast<int>(GetLastError());
      break;
    }
  }
  return PlaceOutcome::kFailed;
}

bool OutputDirectory::OpenEntryFile(const std::string& name, InputFile& file) const {
  const std::wstring wide = WideFromCodePage(name.c_str(), 932);
  if (!IsOneLevel(name, wide)) return false;
  HANDLE existing = OpenItself(path_.native() + L"\\" + wide, GENERIC_READ, kShareAll);
  if (existing == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  Examined examined;
  if (!Examine(existing, &examined) || examined.directory || examined.link) {
    CloseHandle(existing);
    error_ = ERROR_INVALID_FUNCTION;
    return false;
  }
  return file.Keep(existing, true);
}

bool OutputDirectory::RemoveEntryFile(const std::string& name) const {
  const std::wstring path = path_.native() + L"\\" + WideFromCodePage(name.c_str(), 932);
  if (DeleteFileW(path.c_str())) return true;
  error_ = static_cast<int>(GetLastError());
  return false;
}
