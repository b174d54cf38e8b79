// The files below a directory that create and update pack.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "mgarc/engine/packing_list.h"
#include "platform/file_stream.h"

namespace mgarc::engine {

// Every regular file below root, links followed, in one order on every
// machine. What cannot be packed is named in notes and left out; failure
// tells why the tree cannot be read.
struct TreeWalk {
  std::vector<PackedFile> files;
  std::vector<PackingProblem> notes;
  std::string failure;
};

// leaveOut: files never packed (the archive being written, when it lies inside).
TreeWalk WalkTree(const std::filesystem::path& root, const std::vector<FileIdentity>& leaveOut);

}  // namespace mgarc::engine
