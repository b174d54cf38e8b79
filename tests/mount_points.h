// Whether something is mounted at a path, for the mount tests and the mount
// benchmark (Linux only).
#pragma once

#include <string>

// True when the process's mount table lists a mount at path.
bool IsMounted(const std::string& path);
