// Conversions between code page 932, UTF-8 and UTF-16 for the Windows calls.
#pragma once

#include <string>

std::wstring WideFromCodePage(const char* text, unsigned codePage);
// Characters code page 932 lacks become '?'; *lossy (when given) tells.
std::string CodePage932FromWide(const wchar_t* text, bool* lossy = nullptr);
