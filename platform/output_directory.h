// Where mgarc writes: a directory reached level by level from the one the
// user named, never through a symbolic link (or junction) below it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "platform/file_stream.h"

enum class PlaceOutcome {
  kOk,
  kNotOneLevel,    // the name holds a separator or a zero byte, is empty or ".."
  kThroughLink,    // a level is a symbolic link: never followed
  kNotADirectory,  // a level is a file
  kIsDirectory,    // the file's own name is a directory
  kExists,         // a file (or link) is there, and replacing it was not asked for
  kIsArchive,      // the file is the archive being read
  kFailed,         // the system refused: error() tells why
};

class OutputDirectory {
 public:
  OutputDirectory() = default;
  ~OutputDirectory();
  OutputDirectory(OutputDirectory&& other) noexcept;
  OutputDirectory& operator=(OutputDirectory&& other) noexcept;
  OutputDirectory(const OutputDirectory&) = delete;
  OutputDirectory& operator=(const OutputDirectory&) = delete;

  // Opens root, creating it and its parents when missing. Links on the way to
  // root itself are followed: the user named it.
  bool OpenRoot(const std::filesystem::path& root);
  // Opens the level name (in the host's file-name encoding) below this one,
  // creating it when missing. A name that is not exactly one level below
  // this one is refused, here and in CreateEntryFile.
  PlaceOutcome OpenLevel(const std::string& name, OutputDirectory& level) const;
  // Creates the file name here. A file or link there already is left as it
  // is (kExists), or, when replaceExisting, removed first (a link is never
  // written through); the archive itself is never touched.
  PlaceOutcome CreateEntryFile(const std::string& name, bool replaceExisting,
                               const FileIdentity& archive, OutputFile& file) const;
  // Opens the regular file name here for reading, never through a link: the
  // one CreateEntryFile left, to compare. False for a link or anything else.
  bool OpenEntryFile(const std::string& name, InputFile& file) const;
  // Removes a file this directory's CreateEntryFile made (closed first):
  // what a stopped extraction does with one it did not finish.
  bool RemoveEntryFile(const std::string& name) const;
  // The system's code of the last failure.
  int error() const { return error_; }

 private:
  std::intptr_t handle_ = -1;   // a descriptor (Linux), the directory held open (Windows)
  std::filesystem::path path_;  // the directory's path (Windows)
  mutable int error_ = 0;
};
