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

namespace {

// Converts all of in, or answers false; out receives the result.
bool ConvertWhole(void* state, std::string_view in, std::string& out) {
  iconv_t converter = reinterpret_cast<iconv_t>(state);
  if (converter == kNoConverter) return false;
  if (IsAscii(in)) {
    out.assign(in);
    return true;
  }
  iconv(converter, nullptr, nullptr, nullptr, nullptr);
  out.assign(in.size() * 4 + 8, '\0');
  char* from = const_cast<char*>(in.data());
  std::size_t fromLeft = in.size();
  char* to = out.data();
  std::size_t toLeft = out.size();
  if (iconv(converter, &from, &fromLeft, &to, &toLeft) == static_cast<std::size_t>(-1) ||
      iconv(converter, nullptr, nullptr, &to, &toLeft) == static_cast<std::size_t>(-1)) {
    return false;
  }
  out.resize(out.size() - toLeft);
  return true;
}

}  // namespace

NameCodec::NameCodec()
    : decoder_(reinterpret_cast<void*>(iconv_open("UTF-8", "CP932"))),
      encoder_(reinterpret_cast<void*>(iconv_open("CP932", "UTF-8"))) {}

NameCodec::~NameCodec() {
  for (void* state : {decoder_, encoder_}) {
    if (reinterpret_cast<iconv_t>(state) != kNoConverter)
      iconv_close(reinterpret_cast<iconv_t>(state));
  }
}

bool NameCodec::Decode(std::string_view stored, std::string& utf8) {
  return ConvertWhole(decoder_, stored, utf8);
}

bool NameCodec::Encode(std::string_view utf8, std::string& stored) {
  return ConvertWhole(encoder_, utf8, stored);
}

std::string NameCodec::FileName(std::string_view stored) {
  std::string name;
  return Decode(stored, name) ? name : std::string(stored);
}
