// Stored names are code page 932; the host's file names may be in another encoding.
#pragma once

#include <cstddef>

// Converts stored names into the host's encoding; one converter serves a run.
class StoredNameConverter {
 public:
  StoredNameConverter();
  ~StoredNameConverter();
  StoredNameConverter(const StoredNameConverter&) = delete;
  StoredNameConverter& operator=(const StoredNameConverter&) = delete;

  // Converts a stored name (code page 932, separators already the host's). A
  // name whose bytes do not decode is kept as stored. Returns false when the
  // result would not fit in size bytes with its terminator.
  bool ToHost(const char* stored, char* out, std::size_t size);

 private:
  void* converter_ = nullptr;  // the system's conversion state, where the host needs one
};
