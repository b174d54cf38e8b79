#include "platform/text_conversion.h"

#include <iconv.h>

#include <cerrno>
#include <cstring>

namespace {

const iconv_t kNoConverter = reinterpret_cast<iconv_t>(-1);

bool CopyWhole(const char* text, char* out, std::size_t size) {
  std::size_t length = std::strlen(text);
  if (length + 1 > size) return false;
  std::memcpy(out, text, length + 1);
  return true;
}

}  // namespace

// "CP932" is Microsoft's table: 0x81 0x60 is U+FF5E and a lone 0x5C stays '\'.
StoredNameConverter::StoredNameConverter()
    : converter_(reinterpret_cast<void*>(iconv_open("UTF-8", "CP932"))) {}

StoredNameConverter::~StoredNameConverter() {
  iconv_t converter = reinterpret_cast<iconv_t>(converter_);
  if (converter != kNoConverter) iconv_close(converter);
}

bool StoredNameConverter::ToHost(const char* stored, char* out, std::size_t size) {
  iconv_t converter = reinterpret_cast<iconv_t>(converter_);
  if (converter == kNoConverter) return CopyWhole(stored, out, size);
  iconv(converter, nullptr, nullptr, nullptr, nullptr);  // a fresh start for each name
  char* in = const_cast<char*>(stored);
  std::size_t inLeft = std::strlen(stored);
  char* put = out;
  std::size_t outLeft = size - 1;
  std::size_t result = iconv(converter, &in, &inLeft, &put, &outLeft);
  if (result == static_cast<std::size_t>(-1)) {
    return errno == E2BIG ? false : CopyWhole(stored, out, size);
  }
  *put = '\0';
  return true;
}
