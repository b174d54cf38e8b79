// The console: standard output and error, the prompt's line of input.
#pragma once

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
