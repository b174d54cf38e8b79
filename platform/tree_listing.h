// Every regular file below a directory, links followed, for packing.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/file_stream.h"

struct ListedFile {
  NativePath path;       // where its bytes are read from
  std::string relative;  // below the root, UTF-8, '/' between directories
  std::uint64_t size = 0;
};

enum class LeftOut {
  kNotAFile,        // neither a file nor a directory (a device, a link to nothing)
  kLoop,            // a link back to a directory above it
  kEmptyDirectory,  // an archive cannot hold it
};

struct TreeListing {
  std::vector<ListedFile> files;
  std::vector<std::pair<std::string, LeftOut>> leftOut;  // relative, why
  std::string failure;  // why the tree could not be read, UTF-8; empty when it could
};

// Lists the tree below root; files whose identity is in skip are not listed.
// Directories are read by up to workers threads at once (one on Windows).
TreeListing ListTree(const std::filesystem::path& root, const std::vector<FileIdentity>& skip,
                     unsigned workers);
