// Archive and output files, with 64-bit positions and checked operations.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

// Which file a handle reaches, whatever name it was opened by.
struct FileIdentity {
  std::uint64_t device = 0;
  std::uint64_t file = 0;
  bool operator==(const FileIdentity& other) const {
    return device == other.device && file == other.file;
  }
};

// The error of an Open that found a FIFO, a device or anything else that is
// not a regular file, whose reads could wait for ever; SystemErrorUtf8 gives
// "not a regular file".
inline constexpr int kNotARegularFile = -1;

// A path in the system's own form, as text: what a walk keeps for each of
// many files, where a std::filesystem::path would keep a list of its levels.
using NativePath = std::filesystem::path::string_type;

class InputFile {
 public:
  friend class OutputFile;
  friend class OutputDirectory;
  InputFile() = default;
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  // Opens a regular file for reading, without waiting for a writer where the
  // path names a FIFO; path is in the host's encoding.
  bool Open(const char* path);
  // The same, by a path as the standard library holds it (UTF-16 on Windows).
  bool Open(const std::filesystem::path& path);
  // Opens a file that a walk of its directory found regular, without a
  // second look at its kind: should anything else have taken its place since,
  // reading fails or gives other bytes, and never waits for a writer.
  bool OpenWalked(const NativePath& path);
  // Opens anything readable, a pipe too, to be read from start to end.
  bool OpenStream(const std::filesystem::path& path);
  // Standard input, to be read from start to end (not closed by this object).
  void UseStandardInput();
  bool Seek(std::uint64_t position);
  // Reads up to size bytes; fewer only at the end of the file or on an error.
  std::size_t Read(void* buffer, std::size_t size);
  // Reads up to size bytes from an absolute position: a seek and a read in one.
  std::size_t ReadAt(std::uint64_t position, void* buffer, std::size_t size);
  // One read of up to size bytes from an absolute position: fewer at the end
  // of the file, on an error, or where the system gives fewer at once.
  std::size_t ReadOnceAt(std::uint64_t position, void* buffer, std::size_t size);
  // True when path names this very file (also through another name or a link).
  bool IsSameFileAs(const char* path) const;
  // The file's size, identity and modification time (seconds since 1970);
  // false when the system cannot tell.
  bool Describe(std::uint64_t* size, FileIdentity* identity, std::int64_t* modified);
  // The system's code of the last failure, 0 if none.
  int error() const { return error_; }

 private:
  // Windows: takes an opened handle (a HANDLE), refusing all but disk files when asked.
  bool Keep(void* opened, bool regularOnly);

  std::intptr_t handle_ = -1;  // a descriptor, or a Windows handle
  bool borrowed_ = false;      // standard input: left open
  int error_ = 0;
};

class OutputFile {
 public:
  friend class OutputDirectory;
  friend class FileReplacement;
  OutputFile() = default;
  ~OutputFile();
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;

  // Creates the file, or empties it when it exists.
  bool Create(const char* path);
  // Creates the file only when nothing is at path yet; *existed tells whether
  // something was (the file is then left as it is and not opened).
  bool CreateNew(const char* path, bool* existed);
  // Writes all of data at an absolute position.
  bool WriteAt(std::uint64_t at, const void* data, std::size_t size);
  // Copies up to size bytes of source, from position on, to at and on, by the
  // system without passing through the program. Returns how many it copied;
  // fewer when the source ends, on any failure, or where the system cannot
  // (then 0): the caller moves the rest itself, and meets the error there.
  std::uint64_t CopyFrom(InputFile& source, std::uint64_t position, std::uint64_t size,
                         std::uint64_t at);
  // Makes the file's bytes durable before it is renamed into place.
  bool Sync();
  bool Close();
  int error() const { return error_; }

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a Windows handle
  int error_ = 0;
};

// The identity of what path names, links followed; false when nothing is there.
bool IdentifyPath(const std::filesystem::path& path, FileIdentity* identity);
// The same with the size, for a file.
bool DescribePath(const std::filesystem::path& path, FileIdentity* identity, std::uint64_t* size);

// True when a file, not a directory, exists at path: readable or not.
bool PathNamesFile(const char* path);

// The system's text for an error code from the functions above, in the
// host's encoding, cut to fit size bytes.
void SystemErrorText(int error, char* out, std::size_t size);
// The same text as UTF-8, for mgarc.
std::string SystemErrorUtf8(int error);
