#include "platform/text_conversion.h"

#include <windows.h>

#include <cstring>

#include "platform/win32/wide_text.h"

// File names stay code page 932 here; the file calls widen them.
StoredNameConverter::StoredNameConverter() = default;
StoredNameConverter::~StoredNameConverter() = default;

bool StoredNameConverter::ToHost(const char* stored, char* out, std::size_t size) {
  std::size_t length = std::strlen(stored);
  if (length + 1 > size) return false;
  std::memcpy(out, stored, length + 1);
  return true;
}

// The system's own tables do the work: nothing to hold between names.
NameCodec::NameCodec() = default;
NameCodec::~NameCodec() = default;

bool NameCodec::Decode(std::string_view stored, std::string& utf8) {
  if (IsAscii(stored)) {
    utf8.assign(stored);
    return true;
  }
  std::wstring wide;
  if (!StrictWideFromCodePage(stored, 932, wide)) return false;
  utf8 = Utf8FromWide(wide);
  return true;
}

bool NameCodec::Encode(std::string_view utf8, std::string& stored) {
  if (IsAscii(utf8)) {
    stored.assign(utf8);
    return true;
  }
  std::wstring wide;
  if (!StrictWideFromCodePage(utf8, CP_UTF8, wide)) return false;
  stored.clear();
  if (wide.empty()) return true;
  int size = static_cast<int>(wide.size());
  // Without best fit, a character code page 932 lacks is not turned into a
  // look-alike: it takes the default character, and usedDefault tells.
  BOOL usedDefault = FALSE;
  int length = WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), size, nullptr, 0,
                                   nullptr, &usedDefault);
  if (length <= 0 || usedDefault) return false;
  stored.assign(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, wide.data(), size, stored.data(), length, nullptr,
                      nullptr);
  return true;
}

// The file calls widen code page 932 themselves, as marrowgilder's do; a name
// that does not decode is widened as well as it goes.
std::string NameCodec::FileName(std::string_view stored) {
  return std::string(stored);
}
