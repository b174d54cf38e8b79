#include "platform/console.h"

#include <fcntl.h>
#include <iconv.h>
#include <langinfo.h>
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstring>

void OpenMissingStandardStreams() {
  for (int fd = 0; fd <= 2; ++fd) {
    // The lowest free descriptor is taken: this very one, the ones below being open.
    if (fcntl(fd, F_GETFD) == -1 && open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY) != fd) {
      return;
    }
  }
}

void PrepareConsole() {
  std::setlocale(LC_ALL, "");
}

// The C and POSIX locales name ASCII; this tool reads them as UTF-8.
static bool ConsoleSpeaksUtf8() {
  const char* codeset = nl_langinfo(CODESET);
  return std::strcmp(codeset, "UTF-8") == 0 || std::strcmp(codeset, "ANSI_X3.4-1968") == 0;
}

namespace {

// The first error of a write to standard output: later calls may change errno.
int gOutputError = 0;

void NoteOutputError() {
  if (gOutputError == 0) gOutputError = errno;
}

}  // namespace

void WriteOut(const char* text) {
  if (std::fputs(text, stdout) == EOF) NoteOutputError();
}

void WriteOutSystemText(const char* utf8) {
  if (ConsoleSpeaksUtf8()) {
    WriteOut(utf8);
    return;
  }
  iconv_t converter = iconv_open(nl_langinfo(CODESET), "UTF-8");
  if (converter == reinterpret_cast<iconv_t>(-1)) {
    WriteOut(utf8);
    return;
  }
  char converted[512];
  char* in = const_cast<char*>(utf8);
  std::size_t inLeft = std::strlen(utf8);
  char* out = converted;
  std::size_t outLeft = sizeof converted - 1;
  bool whole = iconv(converter, &in, &inLeft, &out, &outLeft) != static_cast<std::size_t>(-1);
  iconv_close(converter);
  *out = '\0';
  WriteOut(whole ? converted : utf8);
}

void WriteErr(const char* text) {
  FlushText(TextStream::kOut);
  std::fputs(text, stderr);
}

void FlushOut() {
  FlushText(TextStream::kOut);
}

int ReadInputChar() {
  int c = std::getchar();
  return c == EOF ? -1 : c;
}

namespace {

FILE* StreamOf(TextStream stream) {
  return stream == TextStream::kOut ? stdout : stderr;
}

}  // namespace

void WriteUtf8(TextStream stream, std::string_view text) {
  if (stream == TextStream::kErr) FlushText(TextStream::kOut);
  if (std::fwrite(text.data(), 1, text.size(), StreamOf(stream)) != text.size() &&
      stream == TextStream::kOut) {
    NoteOutputError();
  }
}

bool WriteBinaryOut(const void* data, std::size_t size) {
  if (std::fwrite(data, 1, size, stdout) == size) return true;
  NoteOutputError();
  return false;
}

bool FlushText(TextStream stream) {
  if (std::fflush(StreamOf(stream)) == 0 && std::ferror(StreamOf(stream)) == 0) return true;
  if (stream == TextStream::kOut) NoteOutputError();
  return false;
}

bool CloseStandardOutput(int* error, bool* pipeClosed) {
  bool lost = std::ferror(stdout) != 0;
  if (std::fflush(stdout) != 0) {
    lost = true;
    NoteOutputError();
  }
  // Closing is where some file systems first report a failed write. The
  // descriptor alone is closed: the stream stays valid, empty, for later flushes.
  if (close(fileno(stdout)) != 0 && !lost) {
    lost = true;
    NoteOutputError();
  }
  *error = gOutputError;
  *pipeClosed = gOutputError == EPIPE;
  return !lost;
}

bool IsTerminal(TextStream stream) {
  return isatty(fileno(StreamOf(stream))) == 1;
}
