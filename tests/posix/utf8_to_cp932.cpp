// Utf8ToCp932 on Linux: through iconv.
#include <iconv.h>

#include "test_archive.h"

std::string Utf8ToCp932(const std::string& utf8) {
  // "CP932" is Microsoft's table, as the Japanese console has it.
  iconv_t converter = iconv_open("CP932", "UTF-8");
  std::string out(utf8.size() * 2 + 1, '\0');
  char* in = const_cast<char*>(utf8.data());
  std::size_t inLeft = utf8.size();
  char* put = out.data();
  std::size_t outLeft = out.size();
  std::size_t result = iconv(converter, &in, &inLeft, &put, &outLeft);
  iconv_close(converter);
  if (result == static_cast<std::size_t>(-1)) return "<not code page 932>";
  out.resize(out.size() - outLeft);
  return out;
}
