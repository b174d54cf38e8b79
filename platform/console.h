// The console: standard output and error, the prompt's line of input.
#pragma once

#include <cstddef>
#include <string_view>

// Puts a stand-in (the null device) in the place of standard input, output or
// error when the program started without it, before any file is opened: the
// first file opened would otherwise take that place, and output meant for the
// stream would land in it.
void OpenMissingStandardStreams();

// Takes the user's locale for the console's character set.
void PrepareConsole();

// Writes bytes that are already in the host's encoding (paths, ASCII).
void WriteOut(const char* text);
// Writes one of the system's own texts, held as UTF-8, in the console's character set.
void WriteOutSystemText(const char* utf8);
void WriteErr(const char* text);
// Makes sure that everything written has reached the console.
void FlushOut();

// The next character of standard input, or -1 at its end.
int ReadInputChar();

// mgarc's text is UTF-8 inside: a Windows console shows it as UTF-16,
// redirected output and every Linux stream get the UTF-8 bytes.
enum class TextStream { kOut, kErr };
void WriteUtf8(TextStream stream, std::string_view text);
// Raw bytes on standard output, never translated.
bool WriteBinaryOut(const void* data, std::size_t size);
// False when some text written to the stream was lost.
bool FlushText(TextStream stream);
// Flushes and closes standard output once nothing more will be written to it.
// False when some output was lost: *error gives the system's code, and
// *pipeClosed tells that the reader had gone (a pipe closed early).
bool CloseStandardOutput(int* error, bool* pipeClosed);
bool IsTerminal(TextStream stream);
