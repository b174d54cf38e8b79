// Stored names are code page 932; the host's file names may be in another encoding.
#pragma once

#include <cstddef>

// Converts a stored name (code page 932, separators already the host's) into
// the host's encoding. A name whose bytes do not decode is kept as stored.
// Returns false when the result would not fit in size bytes with its terminator.
bool StoredNameToHost(const char* stored, char* out, std::size_t size);
