#include "platform/text_conversion.h"

#include <cstring>

// File names stay code page 932 here; the file calls widen them.
StoredNameConverter::StoredNameConverter() = default;
StoredNameConverter::~StoredNameConverter() = default;

bool StoredNameConverter::ToHost(const char* stored, char* out, std::size_t size) {
  std::size_t length = std::strlen(stored);
  if (length + 1 > size) return false;
  std::memcpy(out, stored, length + 1);
  return true;
}
