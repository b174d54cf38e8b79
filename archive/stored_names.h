// Stored names: code page 932, '\' between directories. What a host's file
// system would make of them, decided on the stored bytes alone.
#pragma once

#include <cstddef>

#include "archive/path_rules.h"

// Copies a stored name, turning each '\' that is not a double-byte character's
// second byte into separator. out must hold strlen(stored) + 1 bytes.
void MapStoredSeparators(const char* stored, char separator, char* out);

// True when a stored name would lead out of the output directory: it starts at
// a root or a drive, or one of its names is ".." (or dots and blanks that
// Windows reads as "..").
bool StoredNameLeavesDirectory(const char* stored);

// True when one level (length bytes) names the parent directory: two dots or
// more and nothing but blanks besides, as Windows reads "..".
bool LevelNamesParent(const char* name, std::size_t length);

// True when the name (one directory level, length bytes) is a Windows device:
// CON, PRN, AUX, NUL, COM1-COM9, LPT1-LPT9, CONIN$ or CONOUT$, in any case,
// alone or before an extension, also with blanks or dots before the extension
// or at the end ("NUL .TXT", "CON.").
bool IsWindowsDeviceName(const char* name, std::size_t length);

// True when one of the stored name's levels is a Windows device name.
bool StoredNameHasDeviceComponent(const char* stored);

// Why an entry's stored name is not written on a host.
enum class NameRefusal {
  kNone,
  kLeavesOutput,  // it would lead out of the output directory
  kDevice,        // one of its levels names a device, not a file
  kStream,        // a ':' would hide its bytes in a stream of another file
};

NameRefusal CheckStoredName(const char* stored, const PathRules& rules);

// True when Windows could not hold the stored name as an ordinary file: a
// device name, a ':' anywhere but in a drive at the start, one of < > " | ? *
// or a byte 1-31, or a level that ends in a dot or a blank.
bool StoredNameReservedOnWindows(const char* stored);
