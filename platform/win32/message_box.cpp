#include "platform/message_box.h"

#include <windows.h>

#include <cstdio>

void ShowMessageBox(const char* text, const char* title) {
  std::fflush(stdout);
  MessageBoxA(nullptr, text, title, MB_ICONWARNING);
}
