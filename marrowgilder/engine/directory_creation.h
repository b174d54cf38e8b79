// Creating the directories that the entries' output paths lead into.
#pragma once

#include <cstddef>

#include "archive/path_rules.h"
#include "marrowgilder/engine/name_table.h"

namespace marrowgilder::engine {

// Walks a file path's directories from the top down: each step extends
// partial by one directory name and its separator.
struct DirectoryWalk {
  char directory[260];  // the path's directory part, cut to 255 bytes
  std::size_t next;     // where the next directory name begins in it
  char partial[272];    // drive, separator, the names walked so far
  std::size_t partialLength;
  PathRules rules;
};

void BeginDirectoryWalk(DirectoryWalk& walk, const char* path, const PathRules& rules);
// False when no directory is left; a final name is never made a directory.
bool NextDirectory(DirectoryWalk& walk);

// Makes every directory on the way to the file at path exist. Nothing is
// reported: a directory that cannot be made shows when its file cannot be created.
void MakeDirectoryPath(const char* path, const PathRules& rules);

// Calls MakeDirectoryPath for every entry whose directory part differs from
// the previous entry's; entries whose names are refused are passed over.
void RunDirectoryPass(const NameTable& table, int entryCount, const PathRules& rules);

}  // namespace marrowgilder::engine
