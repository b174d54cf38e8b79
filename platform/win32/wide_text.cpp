#include "platform/win32/wide_text.h"

#include <windows.h>

std::wstring WideFromCodePage(const char* text, unsigned codePage) {
  int length = MultiByteToWideChar(codePage, 0, text, -1, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(codePage, 0, text, -1, wide.data(), length);
  wide.resize(static_cast<std::size_t>(length - 1));
  return wide;
}

bool StrictWideFromCodePage(std::string_view text, unsigned codePage, std::wstring& wide) {
  wide.clear();
  if (text.empty()) return true;
  int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, nullptr, 0);
  if (length <= 0) return false;
  wide.assign(static_cast<std::size_t>(length), L'\0');
  return MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), size, wide.data(),
                             length) == length;
}

std::string CodePage932FromWide(const wchar_t* text, bool* lossy) {
  BOOL usedDefault = FALSE;
  int length =
      WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text, -1, nullptr, 0, "?", &usedDefault);
  if (lossy != nullptr) *lossy = usedDefault != FALSE;
  if (length <= 0) return std::string();
  std::string narrow(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(932, WC_NO_BEST_FIT_CHARS, text, -1, narrow.data(), length, "?", nullptr);
  narrow.resize(static_cast<std::size_t>(length - 1));
  return narrow;
}

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return std::wstring();
  int size = static_cast<int>(text.size());
  int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return std::wstring();
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), size, wide.data(), length);
  return wide;
}

std::string Utf8FromWide(std::wstring_view text) {
  if (text.empty()) return std::string();
  int size = static_cast<int>(text.size());
  int length = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return std::string();
  std::string utf8(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, utf8.data(), length, nullptr, nullptr);
  return utf8;
}
