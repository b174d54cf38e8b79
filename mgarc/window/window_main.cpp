// mgarcw.exe: mgarc's window, for those who never open a console. Started
// alone it waits for an archive; given one (on its command line, or dropped
// on the program) it opens it.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "mgarc/window/main_window.h"
#include "platform/win32/wide_text.h"

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int show) {
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_TREEVIEW_CLASSES | ICC_LISTVIEW_CLASSES |
                                                     ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
  InitCommonControlsEx(&controls);
  // The Shell's dialogs run in a single-threaded apartment.
  const bool com = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  int status = 1;
  if (auto window = mgarc::window::MainWindow::Create(instance)) {
    ShowWindow(window->handle(), show);
    int count = 0;
    if (wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count)) {
      if (count > 1) window->Open(Utf8FromWide(arguments[1]));
      LocalFree(arguments);
    }
    MSG message{};
    while (GetMessageW(&message, nullptr, 0, 0) > 0) {
      if (window->TakeKeys(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    status = static_cast<int>(message.wParam);
  } else {
    MessageBoxW(nullptr, L"mgarcw: the system made no window for it (is a desktop running?)",
                L"Marrowgilder", MB_ICONERROR);
  }
  if (com) CoUninitialize();
  return status;
}
