// Drives mgarc's window from outside, as a person at the keyboard would,
// through window messages, and prints what the window shows (UTF-8, one
// thing a line, fields split by tabs) for the test on the Linux side:
//   window_driver show               the title, the rows and the status bar
//   window_driver directory N        chooses the root's Nth directory, then shows
//   window_driver filter TEXT        types TEXT in the filter box, then shows
//   window_driver sort COLUMN        clicks a column's header, then shows
//   window_driver select ROW...       chooses rows (from 0), the first focused, then shows
//   window_driver command ID         chooses the menu command ID (window_resources.h)
//   window_driver status-click PART  clicks the status bar's part PART (from 0)
//   window_driver dialog [TEXT]      waits for a dialog of the window (that says TEXT),
//                                    prints its texts
//   window_driver fill ID TEXT       types TEXT in the dialog's field ID
//   window_driver click ID           presses the dialog's button ID
//   window_driver tick               ticks the task dialog's box ("do this for all")
//   window_driver cancel-progress TEXT  waits for a dialog that says TEXT, presses Cancel
//   window_driver no-dialog          waits until the window shows no dialog, then shows
//   window_driver close              closes the window
//   window_driver time-open PROGRAM ARCHIVE ROWS ROW   (for the benchmark)
//                                    starts the window, prints how long it takes
//                                    to list ROWS rows and to preview row ROW
// It waits up to 30 s for a window that shows an archive (and for a dialog);
// the list's rows are read through memory lent in the window's process, as
// they cannot cross between processes in a message.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>
#include <psapi.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

namespace {

std::string Utf8(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(length), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), length, nullptr, nullptr);
  return out;
}

void Print(const std::string& line) {
  const std::string text = line + "\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), text.data(), static_cast<DWORD>(text.size()), &written,
            nullptr);
}

// Memory in the window's process, for the messages that take a pointer.
class Lent {
 public:
  Lent(HWND window, std::size_t size) : size_(size) {
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    process_ =
        OpenProcess(PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE, FALSE, process);
    if (process_ != nullptr) {
      at_ = VirtualAllocEx(process_, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
    }
  }
  ~Lent() {
    if (at_ != nullptr) VirtualFreeEx(process_, at_, 0, MEM_RELEASE);
    if (process_ != nullptr) CloseHandle(process_);
  }
  Lent(const Lent&) = delete;
  Lent& operator=(const Lent&) = delete;

  char* at() const { return static_cast<char*>(at_); }
  bool Put(std::size_t offset, const void* bytes, std::size_t size) const {
    return WriteProcessMemory(process_, at() + offset, bytes, size, nullptr) != 0;
  }
  bool Get(std::size_t offset, void* bytes, std::size_t size) const {
    return ReadProcessMemory(process_, at() + offset, bytes, size, nullptr) != 0;
  }
  std::size_t size() const { return size_; }

 private:
  std::size_t size_;
  HANDLE process_ = nullptr;
  void* at_ = nullptr;
};

constexpr std::size_t kTextAt = 256;  // where the lent text buffer starts
constexpr int kTextChars = 1024;

// A list cell, asked as the list would be asked by its own process.
std::wstring Cell(HWND list, const Lent& lent, int row, int column) {
  LVITEMW item{};
  item.iSubItem = column;
  item.cchTextMax = kTextChars;
  item.pszText = reinterpret_cast<wchar_t*>(lent.at() + kTextAt);
  lent.Put(0, &item, sizeof item);
  const auto length = static_cast<std::size_t>(SendMessageW(
      list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(lent.at())));
  std::wstring text(length, L'\0');
  lent.Get(kTextAt, text.data(), length * sizeof(wchar_t));
  return text;
}

std::wstring StatusPart(HWND status, const Lent& lent, int part) {
  const auto length = LOWORD(SendMessageW(status, SB_GETTEXTLENGTHW, static_cast<WPARAM>(part), 0));
  SendMessageW(status, SB_GETTEXTW, static_cast<WPARAM>(part),
               reinterpret_cast<LPARAM>(lent.at() + kTextAt));
  std::wstring text(length, L'\0');
  lent.Get(kTextAt, text.data(), length * sizeof(wchar_t));
  return text;
}

std::wstring Title(HWND window) {
  wchar_t title[512] = {};
  GetWindowTextW(window, title, 512);
  return title;
}

// The window, once it shows an archive (its title names it).
HWND FindShowing() {
  for (int wait = 0; wait < 300; ++wait) {
    HWND window = FindWindowW(L"MarrowgilderWindow", nullptr);
    if (window != nullptr && Title(window).find(L" \u2014 ") != std::wstring::npos) return window;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return nullptr;
}

HWND Child(HWND window, const wchar_t* type) {
  return FindWindowExW(window, nullptr, type, nullptr);
}

std::wstring Text(HWND window) {
  const auto length = static_cast<std::size_t>(SendMessageW(window, WM_GETTEXTLENGTH, 0, 0));
  std::wstring text(length + 1, L'\0');
  text.resize(static_cast<std::size_t>(
      SendMessageW(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()))));
  return text;
}

struct DialogSearch {
  DWORD process;
  HWND found;
};

BOOL CALLBACK TakeDialog(HWND candidate, LPARAM data) {
  auto& search = *reinterpret_cast<DialogSearch*>(data);
  DWORD process = 0;
  GetWindowThreadProcessId(candidate, &process);
  wchar_t type[64] = {};
  GetClassNameW(candidate, type, 64);
  if (process != search.process || !IsWindowVisible(candidate) || std::wstring(type) != L"#32770") {
    return TRUE;
  }
  search.found = candidate;
  return FALSE;
}

// The topmost dialog the window's process shows, or nullptr.
HWND FindDialog(HWND window) {
  DialogSearch search{0, nullptr};
  GetWindowThreadProcessId(window, &search.process);
  EnumWindows(TakeDialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

BOOL CALLBACK AddText(HWND child, LPARAM data) {
  if (!IsWindowVisible(child)) return TRUE;
  std::wstring text = Text(child);
  // A line each: a text's own line ends become spaces.
  for (wchar_t& c : text) {
    if (c == L'\n' || c == L'\r') c = L' ';
  }
  if (!text.empty()) {
    reinterpret_cast<std::wstring*>(data)->append(L"text\t" + std::to_wstring(GetDlgCtrlID(child)) +
                                                  L"\t" + text + L"\n");
  }
  return TRUE;
}

// The dialog's title, then each shown control's number and text, a line each.
std::wstring DialogTexts(HWND dialog) {
  std::wstring texts = L"dialog\t" + Text(dialog) + L"\n";
  EnumChildWindows(dialog, AddText, reinterpret_cast<LPARAM>(&texts));
  return texts;
}

HWND WaitForDialog(HWND window, const std::wstring& titled = {}) {
  for (int wait = 0; wait < 3000; ++wait) {
    HWND dialog = FindDialog(window);
    if (dialog != nullptr &&
        (titled.empty() || DialogTexts(dialog).find(titled) != std::wstring::npos)) {
      return dialog;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return nullptr;
}

void Show(HWND window) {
  HWND list = Child(window, WC_LISTVIEWW);
  HWND status = Child(window, STATUSCLASSNAMEW);
  Lent lent(window, kTextAt + kTextChars * sizeof(wchar_t));
  Print("title\t" + Utf8(Title(window)));
  const auto rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  Print("count\t" + std::to_string(rows));
  for (int row = 0; row < rows; ++row) {
    std::string line = "row";
    for (int column = 0; column < 4; ++column) line += "\t" + Utf8(Cell(list, lent, row, column));
    Print(line);
  }
  for (int part = 0; part < 3; ++part) Print("status\t" + Utf8(StatusPart(status, lent, part)));
  // What the preview shows, and its text's first line.
  HWND preview = Child(window, L"MarrowgilderPreview");
  Print("preview\t" + Utf8(Text(preview)));
  const std::wstring text = Text(Child(preview, WC_EDITW));
  Print("previewtext\t" + Utf8(text.substr(0, text.find(L'\r'))));
}

// The dialog's texts, and the rows of a list it holds, printed for the test.
void PrintDialog(HWND dialog) {
  const std::wstring texts = DialogTexts(dialog);
  DWORD written = 0;
  const std::string utf8 = Utf8(texts);
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), utf8.data(), static_cast<DWORD>(utf8.size()), &written,
            nullptr);
  HWND list = Child(dialog, WC_LISTVIEWW);
  if (list == nullptr) return;
  Lent lent(dialog, kTextAt + kTextChars * sizeof(wchar_t));
  const auto rows = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < rows; ++row) {
    Print("row\t" + Utf8(Cell(list, lent, row, 0)) + "\t" + Utf8(Cell(list, lent, row, 1)));
  }
}

// Presses a button: a control of the dialog's own, or one a task dialog draws.
void Press(HWND dialog, int id) {
  HWND button = GetDlgItem(dialog, id);
  if (button != nullptr) {
    SendMessageW(button, BM_CLICK, 0, 0);
  } else {
    SendMessageW(dialog, TDM_CLICK_BUTTON, static_cast<WPARAM>(id), 0);
  }
}

}  // namespace

// Chooses rows (from 0), the first focused, as clicks with Ctrl would.
void Select(HWND window, const std::vector<int>& rows) {
  HWND list = Child(window, WC_LISTVIEWW);
  Lent lent(window, sizeof(LVITEMW));
  auto setState = [&](int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.stateMask = mask;
    item.state = state;
    lent.Put(0, &item, sizeof item);
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(lent.at()));
  };
  setState(-1, 0, LVIS_SELECTED);
  for (std::size_t i = rows.size(); i-- > 0;) {
    // The first is chosen last: focused, and so previewed.
    const UINT state = i == 0 ? LVIS_SELECTED | LVIS_FOCUSED : LVIS_SELECTED;
    setState(rows[i], state, state);
  }
}

// The mouse pressed and let go in the middle of a part of control (a column's
// header, a part of the status bar), whose place the message asking gives;
// sent, so that it is done on return, unless what it opens would hold the
// window, then posted.
void ClickPart(HWND window, HWND control, UINT asking, int part, bool wait) {
  Lent lent(window, sizeof(RECT));
  SendMessageW(control, asking, static_cast<WPARAM>(part), reinterpret_cast<LPARAM>(lent.at()));
  RECT place{};
  lent.Get(0, &place, sizeof place);
  const LPARAM at = MAKELPARAM((place.left + place.right) / 2, (place.top + place.bottom) / 2);
  if (wait) {
    SendMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    SendMessageW(control, WM_LBUTTONUP, 0, at);
  } else {
    PostMessageW(control, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageW(control, WM_LBUTTONUP, 0, at);
  }
}

double SecondsSince(const LARGE_INTEGER& start) {
  LARGE_INTEGER now{};
  LARGE_INTEGER frequency{};
  QueryPerformanceCounter(&now);
  QueryPerformanceFrequency(&frequency);
  return static_cast<double>(now.QuadPart - start.QuadPart) /
         static_cast<double>(frequency.QuadPart);
}

// The most memory the process has held at once (its peak working set).
std::size_t PeakBytes(HANDLE process) {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  return K32GetProcessMemoryInfo(process, &counters, sizeof counters) ? counters.PeakWorkingSetSize
                                                                      : 0;
}

// For the benchmark: starts program on archive, then prints the seconds until
// its list holds rows rows ("open"), and from choosing row until the preview
// shows its image ("preview"), each followed by the window's peak memory
// ("peak") so far. The window is left open.
int TimeOpen(const std::wstring& program, const std::wstring& archive, int rows, int row) {
  std::wstring line = L"\"" + program + L"\" \"" + archive + L"\"";
  STARTUPINFOW start{};
  start.cb = sizeof start;
  PROCESS_INFORMATION process{};
  LARGE_INTEGER started{};
  QueryPerformanceCounter(&started);
  if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &start,
                      &process)) {
    Print("cannot start the window");
    return 1;
  }
  CloseHandle(process.hThread);
  HWND window = nullptr;
  for (int wait = 0; wait < 60000; ++wait) {
    window = FindWindowW(L"MarrowgilderWindow", nullptr);
    if (window != nullptr &&
        SendMessageW(Child(window, WC_LISTVIEWW), LVM_GETITEMCOUNT, 0, 0) == rows) {
      break;
    }
    window = nullptr;
    Sleep(1);
  }
  if (window == nullptr) {
    Print("the list never held the rows");
    return 1;
  }
  Print("open\t" + std::to_string(SecondsSince(started)));
  Print("peak\t" + std::to_string(PeakBytes(process.hProcess)));
  LARGE_INTEGER chosen{};
  QueryPerformanceCounter(&chosen);
  Select(window, {row});
  // Chosen by a message sent, so that the preview was made before it returned.
  const std::wstring shown = Text(Child(window, L"MarrowgilderPreview"));
  Print("preview\t" + std::to_string(SecondsSince(chosen)) + "\t" + Utf8(shown));
  Print("peak\t" + std::to_string(PeakBytes(process.hProcess)));
  CloseHandle(process.hProcess);
  return shown.rfind(L"image ", 0) == 0 && shown.find(L"cannot") == std::wstring::npos ? 0 : 1;
}

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return 2;
  const std::wstring command = argv[1];
  if (command == L"time-open" && argc > 5) {
    return TimeOpen(argv[2], argv[3], _wtoi(argv[4]), _wtoi(argv[5]));
  }
  HWND window = FindShowing();
  if (window == nullptr) {
    Print("no window shows an archive");
    return 1;
  }
  if (command == L"close") {
    PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
  }
  if (command == L"command" && argc > 2) {
    // Posted: the command's dialogs hold it until they close.
    PostMessageW(window, WM_COMMAND, MAKEWPARAM(_wtoi(argv[2]), 0), 0);
    return 0;
  }
  if (command == L"dialog" || command == L"fill" || command == L"click" || command == L"tick" ||
      command == L"cancel-progress") {
    const bool titled = (command == L"cancel-progress" || command == L"dialog") && argc > 2;
    HWND dialog = WaitForDialog(window, titled ? argv[2] : L"");
    if (dialog == nullptr) {
      Print("no dialog");
      return 1;
    }
    if (command == L"fill" && argc > 3) {
      SendMessageW(GetDlgItem(dialog, _wtoi(argv[2])), WM_SETTEXT, 0,
                   reinterpret_cast<LPARAM>(argv[3]));
    } else if (command == L"click" && argc > 2) {
      Press(dialog, _wtoi(argv[2]));
    } else if (command == L"tick") {
      SendMessageW(dialog, TDM_CLICK_VERIFICATION, TRUE, FALSE);
    } else if (command == L"cancel-progress") {
      PrintDialog(dialog);
      Press(dialog, IDCANCEL);
    } else {
      PrintDialog(dialog);
    }
    return 0;
  }
  if (command == L"no-dialog") {
    for (int wait = 0; wait < 3000 && FindDialog(window) != nullptr; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    if (FindDialog(window) != nullptr) {
      Print("a dialog stays");
      return 1;
    }
  } else if (command == L"status-click" && argc > 2) {
    // Posted: the list it opens holds the window until it closes.
    ClickPart(window, Child(window, STATUSCLASSNAMEW), SB_GETRECT, _wtoi(argv[2]), false);
    return 0;
  } else if (command == L"select" && argc > 2) {
    std::vector<int> rows;
    for (int a = 2; a < argc; ++a) rows.push_back(_wtoi(argv[a]));
    Select(window, rows);
  } else if (command == L"directory" && argc > 2) {
    HWND tree = Child(window, WC_TREEVIEWW);
    auto item = reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0));
    item = reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CHILD, reinterpret_cast<LPARAM>(item)));
    for (int n = _wtoi(argv[2]); n > 0 && item != nullptr; --n) {
      item = reinterpret_cast<HTREEITEM>(
          SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(item)));
    }
    SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item));
  } else if (command == L"filter" && argc > 2) {
    SendMessageW(Child(window, WC_EDITW), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[2]));
  } else if (command == L"sort" && argc > 2) {
    HWND header =
        reinterpret_cast<HWND>(SendMessageW(Child(window, WC_LISTVIEWW), LVM_GETHEADER, 0, 0));
    ClickPart(window, header, HDM_GETITEMRECT, _wtoi(argv[2]), true);
  } else if (command != L"show") {
    Print("no such command");
    return 2;
  }
  Show(window);
  return 0;
}
