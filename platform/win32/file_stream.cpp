#include "platform/file_stream.h"

#include <windows.h>

#include <cstdio>

#include "platform/win32/wide_text.h"

namespace {

HANDLE Handle(std::intptr_t handle) {
  return reinterpret_cast<HANDLE>(handle);
}
std::intptr_t Stored(HANDLE handle) {
  return reinterpret_cast<std::intptr_t>(handle);
}
bool IsOpen(std::intptr_t handle) {
  return Handle(handle) != INVALID_HANDLE_VALUE;
}

// Paths are code page 932 inside the program; the wide calls take them whatever
// the system's code page.
HANDLE OpenWide(const char* path, DWORD access, DWORD disposition, DWORD flags) {
  std::wstring wide = WideFromCodePage(path, 932);
  return CreateFileW(wide.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                     nullptr, disposition, flags, nullptr);
}

HANDLE OpenStreamWide(const std::filesystem::path& path) {
  return CreateFileW(path.c_str(), GENERIC_READ,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

bool Identity(HANDLE file, BY_HANDLE_FILE_INFORMATION* info) {
  return GetFileInformationByHandle(file, info) != 0;
}

}  // namespace

InputFile::~InputFile() {
  if (IsOpen(handle_) && !borrowed_) CloseHandle(Handle(handle_));
}

bool InputFile::Open(const char* path) {
  // Without backup semantics a directory does not open: it is refused like a missing file.
  HANDLE file = OpenWide(path, GENERIC_READ, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL);
  return Keep(file, true);
}

bool InputFile::Open(const std::filesystem::path& path) {
  return Keep(OpenStreamWide(path), true);
}

bool InputFile::OpenWalked(const NativePath& path) {
  return Open(std::filesystem::path(path));
}

bool InputFile::OpenStream(const std::filesystem::path& path) {
  return Keep(OpenStreamWide(path), false);
}

void InputFile::UseStandardInput() {
  handle_ = Stored(GetStdHandle(STD_INPUT_HANDLE));
  borrowed_ = true;
}

bool InputFile::Keep(void* opened, bool regularOnly) {
  HANDLE file = opened;
  if (file == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  // A pipe or a device (CON, a serial port) could keep a read waiting for ever.
  if (regularOnly && GetFileType(file) != FILE_TYPE_DISK) {
    CloseHandle(file);
    error_ = kNotARegularFile;
    return false;
  }
  handle_ = Stored(file);
  return true;
}

bool InputFile::Describe(std::uint64_t* size, FileIdentity* identity, std::int64_t* modified) {
  BY_HANDLE_FILE_INFORMATION info{};
  if (!Identity(Handle(handle_), &info)) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  *size = std::uint64_t{info.nFileSizeHigh} << 32 | info.nFileSizeLow;
  *identity = {info.dwVolumeSerialNumber,
               std::uint64_t{info.nFileIndexHigh} << 32 | info.nFileIndexLow};
  // 100-nanosecond steps since 1601.
  std::int64_t ticks =
      static_cast<std::int64_t>(std::uint64_t{info.ftLastWriteTime.dwHighDateTime} << 32 |
                                info.ftLastWriteTime.dwLowDateTime);
  *modified = (ticks - 116444736000000000) / 10000000;
  return true;
}

bool InputFile::Seek(std::uint64_t position) {
  LARGE_INTEGER to;
  to.QuadPart = static_cast<LONGLONG>(position);
  if (!SetFilePointerEx(Handle(handle_), to, nullptr, FILE_BEGIN)) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

std::size_t InputFile::Read(void* buffer, std::size_t size) {
  auto* bytes = static_cast<unsigned char*>(buffer);
  std::size_t done = 0;
  while (done < size) {
    DWORD got = 0;
    if (!ReadFile(Handle(handle_), bytes + done, static_cast<DWORD>(size - done), &got, nullptr)) {
      // A pipe whose writer has gone is at its end.
      if (GetLastError() != ERROR_BROKEN_PIPE) error_ = static_cast<int>(GetLastError());
      break;
    }
    if (got == 0) break;
    done += got;
  }
  return done;
}

std::size_t InputFile::ReadAt(std::uint64_t position, void* buffer, std::size_t size) {
  return Seek(position) ? Read(buffer, size) : 0;
}

std::size_t InputFile::ReadOnceAt(std::uint64_t position, void* buffer, std::size_t size) {
  DWORD got = 0;
  if (!Seek(position)) return 0;
  if (!ReadFile(Handle(handle_), buffer, static_cast<DWORD>(size), &got, nullptr)) {
    error_ = static_cast<int>(GetLastError());
    return 0;
  }
  return got;
}

bool InputFile::IsSameFileAs(const char* path) const {
  HANDLE other = OpenWide(path, 0, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS);
  if (other == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION mine{};
  BY_HANDLE_FILE_INFORMATION theirs{};
  bool same = Identity(Handle(handle_), &mine) && Identity(other, &theirs) &&
              mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
              mine.nFileIndexHigh == theirs.nFileIndexHigh &&
              mine.nFileIndexLow == theirs.nFileIndexLow;
  CloseHandle(other);
  return same;
}

OutputFile::~OutputFile() {
  if (IsOpen(handle_)) CloseHandle(Handle(handle_));
}

bool OutputFile::Create(const char* path) {
  HANDLE file = OpenWide(path, GENERIC_WRITE, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL);
  if (file == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  handle_ = Stored(file);
  return true;
}

bool OutputFile::CreateNew(const char* path, bool* existed) {
  HANDLE file = OpenWide(path, GENERIC_WRITE, CREATE_NEW, FILE_ATTRIBUTE_NORMAL);
  DWORD failure = file == INVALID_HANDLE_VALUE ? GetLastError() : 0;
  *existed = failure == ERROR_FILE_EXISTS || failure == ERROR_ALREADY_EXISTS;
  if (file == INVALID_HANDLE_VALUE) {
    error_ = static_cast<int>(failure);
    return false;
  }
  handle_ = Stored(file);
  return true;
}

bool OutputFile::WriteAt(std::uint64_t at, const void* data, std::size_t size) {
  const auto* bytes = static_cast<const unsigned char*>(data);
  while (size > 0) {
    // A position in the request: workers write their parts of one file at once.
    OVERLAPPED place{};
    place.Offset = static_cast<DWORD>(at);
    place.OffsetHigh = static_cast<DWORD>(at >> 32);
    DWORD put = 0;
    if (!WriteFile(Handle(handle_), bytes, static_cast<DWORD>(size), &put, &place)) {
      error_ = static_cast<int>(GetLastError());
      return false;
    }
    bytes += put;
    at += put;
    size -= put;
  }
  return true;
}

bool OutputFile::Sync() {
  if (!FlushFileBuffers(Handle(handle_))) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

// Windows has no range copy between open files: the buffer moves every byte.
std::uint64_t OutputFile::CopyFrom(InputFile&, std::uint64_t, std::uint64_t, std::uint64_t) {
  return 0;
}

bool OutputFile::Close() {
  HANDLE file = Handle(handle_);
  handle_ = -1;
  if (file != INVALID_HANDLE_VALUE && !CloseHandle(file)) {
    error_ = static_cast<int>(GetLastError());
    return false;
  }
  return true;
}

bool PathNamesFile(const char* path) {
  DWORD attributes = GetFileAttributesW(WideFromCodePage(path, 932).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

namespace {

// The system's text for an error, without the line break and the full stop
// that end it; empty when the system has none.
std::wstring SystemMessage(int error) {
  wchar_t wide[256] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                static_cast<DWORD>(error), 0, wide, 256, nullptr);
  while (length > 0 &&
         (wide[length - 1] == L'\n' || wide[length - 1] == L'\r' || wide[length - 1] == L'.')) {
    --length;
  }
  return std::wstring(wide, length);
}

}  // namespace

void SystemErrorText(int error, char* out, std::size_t size) {
  if (error == kNotARegularFile) {
    std::snprintf(out, size, "not a regular file");
    return;
  }
  std::wstring wide = SystemMessage(error);
  if (wide.empty()) {
    std::snprintf(out, size, "error %d", error);
    return;
  }
  std::snprintf(out, size, "%s", CodePage932FromWide(wide.c_str()).c_str());
}

std::string SystemErrorUtf8(int error) {
  if (error == kNotARegularFile) return "not a regular file";
  std::wstring wide = SystemMessage(error);
  return wide.empty() ? "error " + std::to_string(error) : Utf8FromWide(wide);
}
