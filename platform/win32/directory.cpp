#include "platform/directory.h"

#include <windows.h>

#include "platform/win32/wide_text.h"

void CreateDirectoryAt(const char* path) {
  (void)CreateDirectoryW(WideFromCodePage(path, 932).c_str(), nullptr);
}
