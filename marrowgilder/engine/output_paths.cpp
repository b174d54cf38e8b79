// Building output paths: the output directory's prefix, a path joined from
// it and a name, the directory part of a path and its comparison, and the
// path as the console shows it.

#include "marrowgilder/engine/output_paths.h"

#include <cstring>

#include "archive/ascii_case.h"

namespace marrowgilder::engine {

bool BuildOutputPrefix(const char* outputDirectory, const PathRules& rules, char* prefix,
                       std::size_t size) {
  std::size_t length = std::strlen(outputDirectory);
  bool endsInSeparator = false;
  for (std::size_t i = 0; i < length;) {
    int step = CharLength(rules.codePage, outputDirectory + i);
    endsInSeparator = step == 1 && outputDirectory[i] == rules.separator;
    i += static_cast<std::size_t>(step);
  }
  std::size_t needed = length + (endsInSeparator ? 0 : 1);
  if (needed + 1 > size) return false;
  std::memcpy(prefix, outputDirectory, length);
  if (!endsInSeparator) prefix[length] = rules.separator;
  prefix[needed] = '\0';
  return true;
}

bool JoinPath(const char* prefix, const char* name, char* out, std::size_t size) {
  std::size_t prefixLength = std::strlen(prefix);
  std::size_t nameLength = std::strlen(name);
  if (prefixLength + nameLength + 1 > size) return false;
  std::memcpy(out, prefix, prefixLength);
  std::memcpy(out + prefixLength, name, nameLength + 1);
  return true;
}

std::size_t DirectoryPartOf(const char* path, const PathRules& rules, std::size_t* offset) {
  std::size_t from = rules.drives && path[0] != '\0' && path[1] == ':' ? 2 : 0;
  std::size_t end = from;
  for (std::size_t i = from; path[i] != '\0';) {
    int step = CharLength(rules.codePage, path + i);
    if (step == 1 && IsSeparator(rules, path[i])) end = i + 1;
    i += static_cast<std::size_t>(step);
  }
  *offset = from;
  return end - from;
}

bool SameDirectoryPart(const char* a, std::size_t aLength, const char* b, std::size_t bLength,
                       const PathRules& rules) {
  if (aLength != bLength) return false;
  for (std::size_t i = 0; i < aLength;) {
    // A double-byte character's second byte may look like a letter: it is never folded.
    bool single = CharLength(rules.codePage, a + i) == 1;
    bool fold = rules.foldCase && single;
    if ((fold ? FoldAscii(a[i]) : a[i]) != (fold ? FoldAscii(b[i]) : b[i])) return false;
    if (!single && a[i + 1] != b[i + 1]) return false;
    i += single ? 1 : 2;
  }
  return true;
}

void ShownPath(const char* path, const PathRules& rules, char* out) {
  std::size_t i = 0;
  for (; path[i] != '\0'; ++i) {
    auto byte = static_cast<unsigned char>(path[i]);
    out[i] = rules.maskControlCharacters && (byte < 0x20 || byte == 0x7F) ? '?' : path[i];
  }
  out[i] = '\0';
}

}  // namespace marrowgilder::engine
