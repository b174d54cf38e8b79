#include "archive/stored_names.h"

#include <cstring>

#include "archive/ascii_case.h"
#include "archive/path_rules.h"

namespace {

bool IsDriveStart(const char* path) {
  char letter = FoldAscii(path[0]);
  return letter >= 'a' && letter <= 'z' && path[1] == ':';
}

bool IsStoredSeparator(char c) {
  return c == '\\' || c == '/';
}

// Calls test on each level of a stored name (split at '\' and '/' that are
// not second bytes) until it answers true.
template <typename Test>
bool AnyLevel(const char* stored, Test test) {
  const char* name = stored;
  const char* p = stored;
  for (;;) {
    bool atEnd = *p == '\0';
    if (atEnd || IsStoredSeparator(*p)) {
      if (test(name, static_cast<std::size_t>(p - name))) return true;
      if (atEnd) return false;
      name = ++p;
    } else {
      p += CharLength(CodePage::kCp932, p);
    }
  }
}

bool EqualsFolded(const char* name, std::size_t length, const char* lower) {
  if (std::strlen(lower) != length) return false;
  for (std::size_t i = 0; i < length; ++i) {
    if (FoldAscii(name[i]) != lower[i]) return false;
  }
  return true;
}

}  // namespace

bool LevelNamesParent(const char* name, std::size_t length) {
  int dots = 0;
  for (std::size_t i = 0; i < length; ++i) {
    if (name[i] == '.') {
      ++dots;
    } else if (name[i] != ' ') {
      return false;
    }
  }
  return dots >= 2;
}

void MapStoredSeparators(const char* stored, char separator, char* out) {
  std::size_t i = 0;
  while (stored[i] != '\0') {
    if (CharLength(CodePage::kCp932, stored + i) == 2) {
      out[i] = stored[i];
      out[i + 1] = stored[i + 1];
      i += 2;
    } else {
      out[i] = stored[i] == '\\' ? separator : stored[i];
      ++i;
    }
  }
  out[i] = '\0';
}

bool StoredNameLeavesDirectory(const char* stored) {
  if (IsStoredSeparator(stored[0]) || IsDriveStart(stored)) return true;
  return AnyLevel(stored, LevelNamesParent);
}

bool IsWindowsDeviceName(const char* name, std::size_t length) {
  // Windows reads the part before the first dot, without its trailing blanks.
  std::size_t base = 0;
  while (base < length && name[base] != '.') ++base;
  while (base > 0 && name[base - 1] == ' ') --base;
  static const char* const kDevices[] = {"con", "prn", "aux", "nul", "conin$", "conout$"};
  for (const char* device : kDevices) {
    if (EqualsFolded(name, base, device)) return true;
  }
  if (base == 4 && name[3] >= '1' && name[3] <= '9') {
    return EqualsFolded(name, 3, "com") || EqualsFolded(name, 3, "lpt");
  }
  return false;
}

bool StoredNameHasDeviceComponent(const char* stored) {
  return AnyLevel(stored, IsWindowsDeviceName);
}

NameRefusal CheckStoredName(const char* stored, const PathRules& rules) {
  if (StoredNameLeavesDirectory(stored)) return NameRefusal::kLeavesOutput;
  if (!rules.devicesAndStreams) return NameRefusal::kNone;
  if (StoredNameHasDeviceComponent(stored)) return NameRefusal::kDevice;
  for (const char* p = stored; *p != '\0'; p += CharLength(CodePage::kCp932, p)) {
    if (*p == ':') return NameRefusal::kStream;
  }
  return NameRefusal::kNone;
}

bool StoredNameReservedOnWindows(const char* stored) {
  const char* afterDrive = IsDriveStart(stored) ? stored + 2 : stored;
  for (const char* p = afterDrive; *p != '\0'; p += CharLength(CodePage::kCp932, p)) {
    unsigned char b = static_cast<unsigned char>(*p);
    if (CharLength(CodePage::kCp932, p) == 2) continue;
    if (b < 32 || std::strchr(":<>\"|?*", b) != nullptr) return true;
  }
  return AnyLevel(stored, [](const char* name, std::size_t length) {
    bool endsBadly = length > 0 && (name[length - 1] == '.' || name[length - 1] == ' ') &&
                     !LevelNamesParent(name, length);
    return endsBadly || IsWindowsDeviceName(name, length);
  });
}
