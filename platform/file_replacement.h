// A new file that takes the place of an existing one only once complete.
#pragma once

#include <filesystem>

#include "platform/file_stream.h"

// The new file is written beside the file it replaces, at positions, by as
// many workers as wanted, and put in place in one step by Commit. Until then
// it has no name where the system allows (Linux: O_TMPFILE; Windows: a file
// deleted when its last handle closes), so an interrupted or killed writer
// leaves nothing behind; where the file system refuses that, it has a hidden
// name beside the target, removed on an interrupt (SIGINT, SIGTERM, SIGHUP).
// One at a time in a process: the interrupt handler knows one name.
class FileReplacement {
 public:
  FileReplacement() = default;
  // Discards the new file unless it was committed.
  ~FileReplacement();
  FileReplacement(const FileReplacement&) = delete;
  FileReplacement& operator=(const FileReplacement&) = delete;

  // Makes the new file beside the file target names, links followed: the file
  // at the end of the links is replaced and the links stay. unnamed false
  // asks for the hidden name even where the system offers more (tests).
  bool Create(const std::filesystem::path& target, bool unnamed = true);
  // The handle Create made, for the header and the like.
  OutputFile& file() { return file_; }
  // Opens writer on the new file: a handle of the worker's own, for WriteAt,
  // CopyFrom and TransferRange at once with the other workers; a failure is
  // in writer.error().
  bool OpenWriter(OutputFile& writer);
  // Makes the bytes durable, gives the file the permission bits of the file
  // it replaces (a new file the umask's), and puts it in place durably.
  // Writers must be closed first on Windows.
  bool Commit();
  // The system's code of the last failure, 0 if none.
  int error() const { return error_; }
  // Whether the file is unnamed until Commit (false: the hidden name; always
  // on Windows, where the mark for deletion protects it).
  bool unnamed() const { return unnamed_; }

 private:
  void Discard();

  OutputFile file_;
  std::filesystem::path target_;     // links resolved
  std::filesystem::path temporary_;  // the hidden name, while it has one
  unsigned mode_ = 0;                // permission bits to give it (POSIX)
  bool unnamed_ = false;
  bool done_ = false;
  int error_ = 0;
};
