#include "platform/directory.h"

#include <sys/stat.h>

void CreateDirectoryAt(const char* path) {
  (void)mkdir(path, 0777);
}
