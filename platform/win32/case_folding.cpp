#include "platform/case_folding.h"

#include <windows.h>

#include "platform/text_conversion.h"
#include "platform/win32/wide_text.h"

std::string UppercaseText(std::string_view utf8) {
  if (IsAscii(utf8)) return UppercaseAscii(utf8);
  std::wstring wide;
  if (!StrictWideFromCodePage(utf8, CP_UTF8, wide)) return std::string(utf8);
  if (wide.empty()) return {};
  // Without LCMAP_LINGUISTIC_CASING the mapping is the file system's: one
  // UTF-16 unit for each, so the length stays.
  std::wstring upper(wide.size(), L'\0');
  int size = static_cast<int>(wide.size());
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, wide.data(), size, upper.data(), size,
                    nullptr, nullptr, 0) != size) {
    return std::string(utf8);
  }
  return Utf8FromWide(upper);
}
