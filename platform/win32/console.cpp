#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <string>

#include "platform/win32/wide_text.h"

namespace {

// A console shows text as UTF-16, so Japanese appears whatever the console's
// code page; redirected output gets the code page 932 bytes themselves.
void WriteWide(FILE* stream, DWORD which, const std::wstring& wide, const char* cp932) {
  HANDLE handle = GetStdHandle(which);
  DWORD mode = 0;
  if (GetConsoleMode(handle, &mode)) {
    std::fflush(stream);
    DWORD written = 0;
    WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    std::fputs(cp932, stream);
  }
}

void WriteCodePage932(FILE* stream, DWORD which, const char* text) {
  WriteWide(stream, which, WideFromCodePage(text, 932), text);
}

}  // namespace

void OpenMissingStandardStreams() {
  // Files are opened as handles of their own, never as the C runtime's
  // descriptors 0 to 2: nothing can take a missing stream's place.
}

void PrepareConsole() {
  // Text mode: redirected to a file or pipe, every line ends in CR LF, as
  // Windows programs write them. A console is written through WriteWide.
  _setmode(_fileno(stdout), _O_TEXT);
  _setmode(_fileno(stderr), _O_TEXT);
}

void WriteOut(const char* text) {
  WriteCodePage932(stdout, STD_OUTPUT_HANDLE, text);
}

void WriteOutSystemText(const char* utf8) {
  std::wstring wide = WideFromCodePage(utf8, CP_UTF8);
  WriteWide(stdout, STD_OUTPUT_HANDLE, wide, CodePage932FromWide(wide.c_str()).c_str());
}

void WriteErr(const char* text) {
  std::fflush(stdout);
  WriteCodePage932(stderr, STD_ERROR_HANDLE, text);
}

void FlushOut() {
  std::fflush(stdout);
}

int ReadInputChar() {
  int c = std::getchar();
  return c == EOF ? -1 : c;
}
