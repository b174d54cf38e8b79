// Conversions between code page 932, UTF-8 and UTF-16 for the Windows calls.
#pragma once

#include <string>
#include <string_view>

std::wstring WideFromCodePage(const char* text, unsigned codePage);
// All of text as UTF-16, or false when some byte sequence is not a character
// of the code page (CP_UTF8 too).
bool StrictWideFromCodePage(std::string_view text, unsigned codePage, std::wstring& wide);
// Each UTF-16 code unit that code page 932 lacks becomes '?'; *lossy (when
// given) tells. No best fit: it would turn a yen sign into '\\' and change paths.
std::string CodePage932FromWide(const wchar_t* text, bool* lossy = nullptr);

// mgarc's text is UTF-8; the system's is UTF-16. A sequence that is not valid
// becomes U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
std::string Utf8FromWide(std::wstring_view text);
