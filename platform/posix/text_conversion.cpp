#include "platform/text_conversion.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

bool CopyWhole(const char* text, char* out, std::size_t size) {
  std::size_t length = std::strlen(text);
  if (length + 1 > size) return false;
  std::memcpy(out, text, length + 1);
  return true;
}

}  // namespace

bool StoredNameToHost(const char* stored, char* out, std::size_t size) {
  // "CP932" is Microsoft's table: 0x81 0x60 is U+FF5E and a lone 0x5C stays '\'.
  iconv_t converter = iconv_open("UTF-8", "CP932");
  if (converter == reinterpret_cast<iconv_t>(-1)) return CopyWhole(stored, out, size);
  char* in = const_cast<char*>(stored);
  std::size_t inLeft = std::strlen(stored);
  char* put = out;
  std::size_t outLeft = size - 1;
  std::size_t result = iconv(converter, &in, &inLeft, &put, &outLeft);
  bool tooLong = result == static_cast<std::size_t>(-1) && errno == E2BIG;
  bool decoded = result != static_cast<std::size_t>(-1);
  iconv_close(converter);
  if (tooLong) return false;
  if (!decoded) return CopyWhole(stored, out, size);
  *put = '\0';
  return true;
}
