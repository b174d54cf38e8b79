#include "platform/console.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
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

namespace {

// WriteConsoleW takes a limited amount at once on older systems.
constexpr std::size_t kConsoleChunk = 8192;

FILE* StreamOf(TextStream stream) {
  return stream == TextStream::kOut ? stdout : stderr;
}

// mgarc's standard streams, set up when first used: bytes pass as they are
// ("\n" stays one byte, cat's data is never translated); a console gets
// UTF-16 and understands the progress line's escape sequence.
class Streams {
 public:
  Streams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    for (int i = 0; i < 2; ++i) {
      handles_[i] = GetStdHandle(i == 0 ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
      console_[i] = GetConsoleMode(handles_[i], &saved_[i]) != 0;
      if (console_[i]) SetConsoleMode(handles_[i], saved_[i] | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    }
  }
  // The console is the user's again, as it was.
  ~Streams() {
    for (int i = 1; i >= 0; --i) {
      if (console_[i]) SetConsoleMode(handles_[i], saved_[i]);
    }
  }
  Streams(const Streams&) = delete;
  Streams& operator=(const Streams&) = delete;

  bool IsConsole(TextStream stream) const { return console_[Index(stream)]; }

  bool WriteConsole(TextStream stream, std::string_view utf8) const {
    std::wstring wide = WideFromUtf8(utf8);
    for (std::size_t done = 0; done < wide.size();) {
      std::size_t piece = wide.size() - done < kConsoleChunk ? wide.size() - done : kConsoleChunk;
      // A surrogate pair stays whole.
      if (piece < wide.size() - done && IS_HIGH_SURROGATE(wide[done + piece - 1])) --piece;
      DWORD written = 0;
      if (!WriteConsoleW(handles_[Index(stream)], wide.data() + done, static_cast<DWORD>(piece),
                         &written, nullptr) ||
          written == 0) {
        return false;
      }
      done += written;
    }
    return true;
  }

 private:
  static int Index(TextStream stream) { return stream == TextStream::kOut ? 0 : 1; }

  HANDLE handles_[2] = {};
  bool console_[2] = {};
  DWORD saved_[2] = {};
};

const Streams& TheStreams() {
  static const Streams streams;
  return streams;
}

}  // namespace

void WriteUtf8(TextStream stream, std::string_view text) {
  const Streams& streams = TheStreams();
  if (stream == TextStream::kErr) std::fflush(stdout);
  if (streams.IsConsole(stream)) {
    std::fflush(StreamOf(stream));
    streams.WriteConsole(stream, text);
  } else {
    std::fwrite(text.data(), 1, text.size(), StreamOf(stream));
  }
}

bool WriteBinaryOut(const void* data, std::size_t size) {
  TheStreams();
  return std::fwrite(data, 1, size, stdout) == size;
}

bool FlushText(TextStream stream) {
  TheStreams();
  return std::fflush(StreamOf(stream)) == 0 && std::ferror(StreamOf(stream)) == 0;
}

bool CloseStandardOutput(int* error, bool* pipeClosed) {
  TheStreams();
  bool lost = std::ferror(stdout) != 0;
  if (std::fflush(stdout) != 0 || lost) {
    // The C runtime keeps the system's code of its last failed write.
    *error = static_cast<int>(_doserrno != 0 ? _doserrno : ERROR_WRITE_FAULT);
    *pipeClosed = *error == ERROR_NO_DATA || *error == ERROR_BROKEN_PIPE ||
                  *error == ERROR_PIPE_NOT_CONNECTED;
    return false;
  }
  return true;
}

bool IsTerminal(TextStream stream) {
  // A console, not merely a character device: NUL is one too.
  return TheStreams().IsConsole(stream);
}
