// Making the directories the entries' files go into: a walk down each
// output path's directories, and the pass that makes them for every entry
// before any file is written, skipping an entry whose directory part is the
// previous entry's.

#include "marrowgilder/engine/directory_creation.h"

#include <cstring>
#include <new>

#include "marrowgilder/engine/output_paths.h"
#include "platform/directory.h"

namespace marrowgilder::engine {

static_assert(kSlotSize - 1 <= 255, "a walk holds every slot's directory part whole");

void BeginDirectoryWalk(DirectoryWalk& walk, const char* path, const PathRules& rules) {
  walk = DirectoryWalk{};
  walk.rules = rules;
  std::size_t offset = 0;
  std::size_t length = DirectoryPartOf(path, rules, &offset);
  if (length > 255) length = 255;
  std::memcpy(walk.directory, path + offset, length);
  std::memcpy(walk.partial, path, offset);
  walk.partialLength = offset;
  // The partial paths keep the path's own form: a relative path (also after a
  // drive) stays relative, so the directories land where the files will be opened.
  if (length > 0 && walk.directory[0] == rules.separator) {
    walk.partial[walk.partialLength++] = rules.separator;
  }
}

bool NextDirectory(DirectoryWalk& walk) {
  const char* directory = walk.directory;
  const char separator = walk.rules.separator;
  std::size_t i = walk.next;
  while (directory[i] == separator) ++i;  // a run of separators parts names like one
  if (directory[i] == '\0') return false;
  std::size_t begin = i;
  while (directory[i] != '\0' && directory[i] != separator) {
    i += static_cast<std::size_t>(CharLength(walk.rules.codePage, directory + i));
  }
  std::size_t length = i - begin;
  std::memcpy(walk.partial + walk.partialLength, directory + begin, length);
  walk.partialLength += length;
  walk.partial[walk.partialLength++] = separator;
  walk.partial[walk.partialLength] = '\0';
  walk.next = i;
  return true;
}

void MakeDirectoryPath(const char* path, const PathRules& rules) {
  ZeroBlock storage(sizeof(DirectoryWalk), BlockHeap::kGlobal);
  if (!storage.ok()) return;
  DirectoryWalk& walk = *new (storage.chars()) DirectoryWalk{};
  BeginDirectoryWalk(walk, path, rules);
  while (NextDirectory(walk)) CreateDirectoryAt(walk.partial);
}

void RunDirectoryPass(const NameTable& table, int entryCount, const PathRules& rules) {
  const char* previous = "";
  std::size_t previousOffset = 0;
  std::size_t previousLength = 0;
  for (int i = 0; i < entryCount; ++i) {
    if (table.refusal[i] != NameRefusal::kNone) continue;
    const char* path = SlotPath(table, i);
    std::size_t offset = 0;
    std::size_t length = DirectoryPartOf(path, rules, &offset);
    if (!SameDirectoryPart(path + offset, length, previous + previousOffset, previousLength,
                           rules)) {
      MakeDirectoryPath(path, rules);
    }
    previous = path;
    previousOffset = offset;
    previousLength = length;
  }
}

}  // namespace marrowgilder::engine
