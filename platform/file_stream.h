// Archive and output files, with 64-bit positions and checked operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>

// Which file a handle reaches, whatever name it was opened by.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity& other) const {
    return device == other.device && file == other.file;
  }
};

class InputFile {
 public:
  friend class OutputFile;
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens a file for reading; path is in the host's encoding.
  bool Open(const char* path);
  // The same, by a path as the standard library holds it (UTF-16 on Windows).
  bool Open(const std::filesystem::path& path);
  bool Seek(std::uint64_t position);
  // Reads up to size bytes; fewer only at the end of the file or on an error.
  std::size_t Read(void* buffer, std::size_t size);
  // Reads up to size bytes from an absolute position: a seek and a read in one.
  std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t size);
  // True when path names this very file (also through another name or a link).
  bool IsSameFileAs(const char* path) const;
  // The file's size, identity and modification time (seconds since 1970);
  // false when the system cannot tell.
  bool Describe(std::uint64_t* size, FileIdentity* identity, std::int64_t* modified);
  // The system's code of the last failure, 0 if none.
  int error() const { return error_; }

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a Windows handle
  int error_ = 0;
};

class OutputFile {
 public:
  friend class OutputDirectory;
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file, or empties it when it exists.
  bool Create(const char* path);
  // Creates the file only when nothing is at path yet; *existed tells whether
  // something was (the file is then left as it is and not opened).
  bool CreateNew(const char* path, bool* existed);
  bool Write(const void* data, std::size_t size);
  // Appends up to size bytes of source, from an absolute position, copied by
  // the system without passing through the program. Returns how many it
  // copied; fewer when the source ends, on any failure, or where the system
  // cannot (then 0): the caller moves the rest itself, and meets the error there.
  std::uint64_t CopyFrom(InputFile& source, std::uint64_t position, std::uint64_t size);
  bool Close();
  int error() const { return error_; }

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a Windows handle
  int error_ = 0;
};

// Moves length bytes of source, from position on, to the end of destination:
// by the system where it can, through buffer (bufferSize bytes) otherwise.
// Returns how many were moved: fewer when the source ends or an operation
// fails (source.error() or destination.error() then tells which).
std::uint64_t TransferRange(InputFile& source, std::uint64_t position, std::uint64_t length,
                            OutputFile& destination, void* buffer, std::size_t bufferSize);

// True when a file, not a directory, exists at path: readable or not.
bool PathNamesFile(const char* path);

// The system's text for an error code from the functions above, in the
// host's encoding, cut to fit size bytes.
void SystemErrorText(int error, char* out, std::size_t size);
