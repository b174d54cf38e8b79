// A stored name as the host's converter gives it, for the text conversion tests of each host.
#pragma once

#include <cstddef>
#include <string>

#include "platform/text_conversion.h"

inline std::string ToHost(const std::string& stored, std::size_t size = 127) {
  StoredNameConverter converter;
  char out[200] = {};
  if (!converter.ToHost(stored.c_str(), out, size)) return "<too long>";
  return out;
}
