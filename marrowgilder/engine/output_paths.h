// Building and splitting output paths: the output prefix, the entry's name as
// the host writes it, and the directory part that the directory pass compares.
#pragma once

#include <cstddef>

#include "archive/path_rules.h"

namespace marrowgilder::engine {

// The output directory followed by one separator unless its last character
// already is one (a double-byte character's second byte is none). Returns
// false when the prefix and its terminator would not fit in size bytes.
bool BuildOutputPrefix(const char* outputDirectory, const PathRules& rules, char* prefix,
                       std::size_t size);

// Joins prefix and name; false when the path and its terminator exceed size.
bool JoinPath(const char* prefix, const char* name, char* out, std::size_t size);

// The directory part of path: without a drive, up to and including its last
// separator. Returns its length; it starts at path + *offset.
std::size_t DirectoryPartOf(const char* path, const PathRules& rules, std::size_t* offset);

// Compares two directory parts as the file system would.
bool SameDirectoryPart(const char* a, std::size_t aLength, const char* b, std::size_t bLength,
                       const PathRules& rules);

// Path as the console shows it: where the rules say so, each byte 01-1F and
// 7F becomes '?'. out must hold strlen(path) + 1 bytes.
void ShownPath(const char* path, const PathRules& rules, char* out);

}  // namespace marrowgilder::engine
