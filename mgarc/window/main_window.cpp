// The window's controls and messages. The list is virtual (LVS_OWNERDATA):
// it asks for each cell as it draws it, so 65535 entries cost one vector of
// node numbers. Text is UTF-8 inside and UTF-16 only where the system takes it.
#include "mgarc/window/main_window.h"

#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <shellapi.h>
#include <shobjidl.h>

#include <algorithm>
#include <cwctype>

#include "mgarc/engine/archive_view.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"
#include "platform/win32/wide_text.h"

namespace mgarc::window {

namespace {

enum CommandId : int {
  kOpen = 100,
  kReload,
  kFindFilter,
  kFilterBox,
};

enum ListColumn : int { kNameColumn, kSizeColumn, kTypeColumn, kOffsetColumn };

constexpr wchar_t kEmptyText[] = L"Open an archive (Ctrl+O) or drop one here";

// The window's dots an inch: its monitor's where the system tells (Windows 10
// on), else the system's.
int Dpi(HWND window) {
  using PerWindow = UINT(WINAPI*)(HWND);
  static const auto perWindow = reinterpret_cast<PerWindow>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  if (perWindow != nullptr) return static_cast<int>(perWindow(window));
  HDC screen = GetDC(nullptr);
  const int dpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  return dpi;
}

// A length in pixels at the window's resolution, from one at 96 dots an inch.
int Scaled(HWND window, int pixels) {
  return MulDiv(pixels, Dpi(window), 96);
}

// "1,234,567": digits in threes, as Explorer shows sizes.
std::wstring Grouped(std::uint64_t number) {
  std::wstring digits = std::to_wstring(number);
  for (int at = static_cast<int>(digits.size()) - 3; at > 0; at -= 3) {
    digits.insert(static_cast<std::size_t>(at), 1, L',');
  }
  return digits;
}

// "12 entries, 3,456 bytes": the counts the status bar gives.
std::wstring Counted(const Totals& totals, const wchar_t* one, const wchar_t* many) {
  return Grouped(totals.files) + L" " + (totals.files == 1 ? one : many) + L", " +
         Grouped(totals.bytes) + (totals.bytes == 1 ? L" byte" : L" bytes");
}

// Extract's patterns, as typed in the filter box: separated by blanks.
std::vector<std::string> Patterns(HWND box) {
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(box)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(box, text.data(), static_cast<int>(text.size()))));
  std::vector<std::string> patterns;
  std::size_t at = 0;
  while (at < text.size()) {
    while (at < text.size() && std::iswspace(text[at])) ++at;
    std::size_t end = at;
    while (end < text.size() && !std::iswspace(text[end])) ++end;
    if (end > at) patterns.push_back(Utf8FromWide(std::wstring_view(text).substr(at, end - at)));
    at = end;
  }
  return patterns;
}

void ShowProblem(HWND window, const engine::Problem& problem) {
  const std::wstring text = WideFromUtf8(problem.subject + ": " + problem.reason);
  MessageBoxW(window, text.c_str(), L"Marrowgilder", MB_ICONWARNING);
}

}  // namespace

std::unique_ptr<MainWindow> MainWindow::Create(HINSTANCE instance) {
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  type.lpfnWndProc = Procedure;
  type.hInstance = instance;
  type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  type.hIcon = LoadIconW(nullptr, reinterpret_cast<LPCWSTR>(IDI_APPLICATION));
  type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  type.lpszClassName = kWindowClass;
  if (RegisterClassExW(&type) == 0) return nullptr;
  std::unique_ptr<MainWindow> made(new MainWindow());
  // The controls take Tab between them as a dialog's do.
  if (CreateWindowExW(WS_EX_CONTROLPARENT | WS_EX_ACCEPTFILES, kWindowClass, L"Marrowgilder",
                      WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN, CW_USEDEFAULT, CW_USEDEFAULT, 960, 640,
                      nullptr, nullptr, instance, made.get()) == nullptr) {
    made->window_ = nullptr;  // gone with the window that was never made
    return nullptr;
  }
  ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'O', kOpen},
                  {FVIRTKEY | FCONTROL, 'F', kFindFilter},
                  {FVIRTKEY, VK_F5, kReload}};
  made->keys_ = CreateAcceleratorTableW(keys, static_cast<int>(std::size(keys)));
  return made;
}

MainWindow::~MainWindow() {
  if (keys_ != nullptr) DestroyAcceleratorTable(keys_);
  if (window_ != nullptr) DestroyWindow(window_);
  if (font_ != nullptr) DeleteObject(font_);
}

bool MainWindow::TakeKeys(MSG& msg) {
  if (TranslateAcceleratorW(window_, keys_, &msg) != 0) return true;
  return IsDialogMessageW(window_, &msg) != 0;
}

LRESULT CALLBACK MainWindow::Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
  if (message == WM_NCCREATE) {
    auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
    self->window_ = window;
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(window, message, w, l);
  return self->Handle(message, w, l);
}

LRESULT MainWindow::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CREATE:
      // -1: the window is not made, and Create says so.
      return MakeChildren() ? 0 : -1;
    case WM_SIZE:
      Layout();
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_COMMAND:
      if (LOWORD(w) == kFilterBox) {
        if (HIWORD(w) == EN_CHANGE) ShowRows();
        return 0;
      }
      Command(LOWORD(w));
      return 0;
    case WM_NOTIFY:
      return Notify(*reinterpret_cast<const NMHDR*>(l));
    case WM_DROPFILES: {
      auto drop = reinterpret_cast<HDROP>(w);
      std::wstring name(MAX_PATH * 4, L'\0');
      const UINT length = DragQueryFileW(drop, 0, name.data(), static_cast<UINT>(name.size()));
      DragFinish(drop);
      name.resize(length);
      if (!name.empty()) Open(Utf8FromWide(name));
      return 0;
    }
    case WM_DPICHANGED: {
      const auto* suggested = reinterpret_cast<const RECT*>(l);
      SetWindowPos(window_, nullptr, suggested->left, suggested->top,
                   suggested->right - suggested->left, suggested->bottom - suggested->top,
                   SWP_NOZORDER | SWP_NOACTIVATE);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      window_ = nullptr;
      return 0;
    default:
      return DefWindowProcW(window_, message, w, l);
  }
}

bool MainWindow::MakeChildren() {
  // The system's message font, at the window's resolution.
  NONCLIENTMETRICSW metrics{};
  metrics.cbSize = sizeof metrics;
  SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0);
  HDC screen = GetDC(nullptr);
  const int systemDpi = GetDeviceCaps(screen, LOGPIXELSY);
  ReleaseDC(nullptr, screen);
  metrics.lfMessageFont.lfHeight = MulDiv(metrics.lfMessageFont.lfHeight, Dpi(window_), systemDpi);
  font_ = CreateFontIndirectW(&metrics.lfMessageFont);
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  auto make = [&](DWORD extended, const wchar_t* type, DWORD style, int id) {
    HWND child =
        CreateWindowExW(extended, type, L"", WS_CHILD | style, 0, 0, 0, 0, window_,
                        reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
    SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
    return child;
  };
  tree_ = make(WS_EX_CLIENTEDGE, WC_TREEVIEWW,
               WS_TABSTOP | TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_SHOWSELALWAYS, 0);
  filter_ = make(WS_EX_CLIENTEDGE, WC_EDITW, WS_TABSTOP | ES_AUTOHSCROLL, kFilterBox);
  SendMessageW(filter_, EM_SETCUEBANNER, TRUE,
               reinterpret_cast<LPARAM>(L"Filter: patterns as extract takes them (*.WAV SE/*)"));
  list_ = make(WS_EX_CLIENTEDGE, WC_LISTVIEWW,
               WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0);
  ListView_SetExtendedListViewStyle(list_, LVS_EX_FULLROWSELECT | LVS_EX_DOUBLEBUFFER);
  struct {
    const wchar_t* title;
    int width;
    int format;
  } columns[] = {{L"Name", 280, LVCFMT_LEFT},
                 {L"Size", 100, LVCFMT_RIGHT},
                 {L"Type", 140, LVCFMT_LEFT},
                 {L"Offset", 100, LVCFMT_RIGHT}};
  for (int c = 0; c < 4; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.pszText = const_cast<wchar_t*>(columns[c].title);
    column.cx = Scaled(window_, columns[c].width);
    column.fmt = columns[c].format;
    ListView_InsertColumn(list_, c, &column);
  }
  status_ = make(0, STATUSCLASSNAMEW, SBARS_SIZEGRIP, 0);
  if (tree_ == nullptr || filter_ == nullptr || list_ == nullptr || status_ == nullptr) {
    return false;
  }
  for (HWND pane : {tree_, filter_, list_}) ShowWindow(pane, SW_HIDE);
  ShowWindow(status_, SW_SHOW);
  return true;
}

void MainWindow::Layout() {
  RECT client{};
  GetClientRect(window_, &client);
  SendMessageW(status_, WM_SIZE, 0, 0);
  RECT bar{};
  GetWindowRect(status_, &bar);
  const int width = client.right;
  const int height = client.bottom - (bar.bottom - bar.top);
  const int parts[] = {width / 3, 2 * width / 3, -1};
  SendMessageW(status_, SB_SETPARTS, 3, reinterpret_cast<LPARAM>(parts));
  const int gap = Scaled(window_, 4);
  const int treeWidth = std::max(width * 3 / 10, Scaled(window_, 120));
  const int filterHeight = Scaled(window_, 24);
  MoveWindow(tree_, 0, 0, treeWidth, height, TRUE);
  MoveWindow(filter_, treeWidth + gap, 0, width - treeWidth - gap, filterHeight, TRUE);
  MoveWindow(list_, treeWidth + gap, filterHeight + gap, width - treeWidth - gap,
             height - filterHeight - gap, TRUE);
  InvalidateRect(window_, nullptr, TRUE);
}

void MainWindow::Paint() {
  PAINTSTRUCT paint{};
  HDC context = BeginPaint(window_, &paint);
  if (model_ == nullptr) {
    RECT client{};
    GetClientRect(window_, &client);
    HGDIOBJ before = SelectObject(context, font_);
    SetBkMode(context, TRANSPARENT);
    SetTextColor(context, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(context, kEmptyText, -1, &client, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(context, before);
  }
  EndPaint(window_, &paint);
}

void MainWindow::Command(int command) {
  switch (command) {
    case kOpen:
      AskForArchive();
      break;
    case kReload:
      if (!path_.empty()) Open(path_);
      break;
    case kFindFilter:
      if (model_ != nullptr) {
        SetFocus(filter_);
        SendMessageW(filter_, EM_SETSEL, 0, -1);
      }
      break;
    default:
      break;
  }
}

bool MainWindow::Open(const std::string& path) {
  engine::ArchiveView archive;
  if (std::optional<engine::Problem> problem = engine::LoadArchive(path, archive)) {
    ShowProblem(window_, *problem);
    return false;
  }
  NameCodec codec;
  model_ = std::make_unique<BrowserModel>(archive, [&codec](std::string_view name) {
    std::string utf8;
    return codec.Decode(name, utf8) ? utf8 : std::string(name);
  });
  path_ = path;
  const std::wstring name = std::filesystem::path(WideFromUtf8(path)).filename().wstring();
  SetWindowTextW(window_, (name + L" \u2014 Marrowgilder").c_str());
  for (HWND pane : {tree_, filter_, list_}) ShowWindow(pane, SW_SHOW);
  FillTree();
  InvalidateRect(window_, nullptr, TRUE);
  SetFocus(tree_);
  return true;
}

void MainWindow::FillTree() {
  SendMessageW(tree_, WM_SETREDRAW, FALSE, 0);
  TreeView_DeleteAllItems(tree_);
  const std::wstring name = std::filesystem::path(WideFromUtf8(path_)).filename().wstring();
  TVINSERTSTRUCTW root{};
  root.hParent = TVI_ROOT;
  root.hInsertAfter = TVI_LAST;
  root.item.mask = TVIF_TEXT | TVIF_PARAM;
  root.item.pszText = const_cast<wchar_t*>(name.c_str());
  root.item.lParam = BrowserModel::kRoot;
  HTREEITEM top = TreeView_InsertItem(tree_, &root);
  AddBranches(top, BrowserModel::kRoot);
  TreeView_Expand(tree_, top, TVE_EXPAND);
  SendMessageW(tree_, WM_SETREDRAW, TRUE, 0);
  directory_ = BrowserModel::kRoot;
  TreeView_SelectItem(tree_, top);
  ShowRows();
}

void MainWindow::AddBranches(HTREEITEM parent, std::uint32_t directory) {
  for (std::uint32_t child : model_->Subdirectories(directory)) {
    const std::wstring name = WideFromUtf8(model_->Name(child));
    TVINSERTSTRUCTW item{};
    item.hParent = parent;
    item.hInsertAfter = TVI_LAST;
    item.item.mask = TVIF_TEXT | TVIF_PARAM;
    item.item.pszText = const_cast<wchar_t*>(name.c_str());
    item.item.lParam = static_cast<LPARAM>(child);
    AddBranches(TreeView_InsertItem(tree_, &item), child);
  }
}

void MainWindow::ShowRows() {
  if (model_ == nullptr) return;
  rows_ = model_->Files(directory_, Patterns(filter_), UppercaseText);
  SortRows();
}

void MainWindow::SortRows() {
  model_->Sort(rows_, sortColumn_, ascending_, UppercaseText);
  ListView_SetItemCountEx(list_, static_cast<int>(rows_.size()), 0);
  ListView_SetItemState(list_, -1, 0, LVIS_SELECTED);
  InvalidateRect(list_, nullptr, TRUE);
  ShowSortArrow();
  ShowStatus();
}

void MainWindow::ShowSortArrow() {
  HWND header = ListView_GetHeader(list_);
  for (int c = 0; c < 4; ++c) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    Header_GetItem(header, c, &item);
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (c == static_cast<int>(sortColumn_)) item.fmt |= ascending_ ? HDF_SORTUP : HDF_SORTDOWN;
    Header_SetItem(header, c, &item);
  }
}

void MainWindow::ShowStatus() {
  std::wstring parts[3];
  if (model_ != nullptr) {
    parts[0] = Counted(model_->whole(), L"entry", L"entries");
    std::vector<std::uint32_t> selected;
    for (int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
         i >= 0 && static_cast<std::size_t>(i) < rows_.size();) {
      selected.push_back(rows_[static_cast<std::size_t>(i)]);
      const int next = ListView_GetNextItem(list_, i, LVNI_SELECTED);
      i = next > i ? next : -1;
    }
    parts[1] = selected.empty()
                   ? Counted(model_->Count(rows_), L"file", L"files") + L" shown"
                   : Counted(model_->Count(selected), L"file", L"files") + L" selected";
    const std::size_t problems = model_->problems().size();
    if (problems > 0) {
      parts[2] = Grouped(problems) + (problems == 1 ? L" entry" : L" entries") +
                 L" not shown: extract would not write " + (problems == 1 ? L"it" : L"them");
    }
  }
  for (int p = 0; p < 3; ++p) {
    SendMessageW(status_, SB_SETTEXTW, static_cast<WPARAM>(p),
                 reinterpret_cast<LPARAM>(parts[p].c_str()));
  }
}

LRESULT MainWindow::Notify(const NMHDR& header) {
  if (header.hwndFrom == tree_ && header.code == TVN_SELCHANGEDW) {
    const auto& change = reinterpret_cast<const NMTREEVIEWW&>(header);
    directory_ = static_cast<std::uint32_t>(change.itemNew.lParam);
    ShowRows();
    return 0;
  }
  if (header.hwndFrom != list_) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW: {
      auto& shown = const_cast<NMLVDISPINFOW&>(reinterpret_cast<const NMLVDISPINFOW&>(header));
      const auto row = static_cast<std::size_t>(shown.item.iItem);
      if ((shown.item.mask & LVIF_TEXT) != 0 && row < rows_.size()) {
        const std::wstring& text = Cell(rows_[row], shown.item.iSubItem);
        lstrcpynW(shown.item.pszText, text.c_str(), shown.item.cchTextMax);
      }
      return 0;
    }
    case LVN_COLUMNCLICK: {
      const auto& click = reinterpret_cast<const NMLISTVIEW&>(header);
      const auto column = static_cast<Column>(click.iSubItem);
      ascending_ = column == sortColumn_ ? !ascending_ : true;
      sortColumn_ = column;
      SortRows();
      return 0;
    }
    case LVN_ITEMCHANGED:
    case LVN_ODSTATECHANGED:
      ShowStatus();
      return 0;
    default:
      return 0;
  }
}

const std::wstring& MainWindow::Cell(std::uint32_t node, int column) {
  switch (column) {
    case kNameColumn:
      // A filter lists files from below the directory: their path from it shows where.
      cell_ = WideFromUtf8(model_->tree().nodes()[node].parent == directory_
                               ? std::string(model_->Name(node))
                               : model_->Path(node));
      break;
    case kSizeColumn:
      cell_ = Grouped(model_->Size(node));
      break;
    case kTypeColumn:
      cell_ = TypeName(model_->Name(node));
      break;
    default:
      cell_ = Grouped(model_->Offset(node));
      break;
  }
  return cell_;
}

const std::wstring& MainWindow::TypeName(std::string_view name) {
  const std::string type = TypeOf(name);
  auto known = typeNames_.find(type);
  if (known != typeNames_.end()) return known->second;
  // The Shell's own name for the extension ("Wave Sound"), as Explorer shows it.
  SHFILEINFOW info{};
  const std::wstring probe = L"x." + WideFromUtf8(type);
  std::wstring shown;
  if (!type.empty() && SHGetFileInfoW(probe.c_str(), FILE_ATTRIBUTE_NORMAL, &info, sizeof info,
                                      SHGFI_TYPENAME | SHGFI_USEFILEATTRIBUTES) != 0) {
    shown = info.szTypeName;
  }
  if (shown.empty()) shown = type.empty() ? L"File" : WideFromUtf8(type) + L" File";
  return typeNames_.emplace(type, shown).first->second;
}

void MainWindow::AskForArchive() {
  IFileOpenDialog* dialog = nullptr;
  if (FAILED(CoCreateInstance(CLSID_FileOpenDialog, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&dialog)))) {
    return;
  }
  const COMDLG_FILTERSPEC types[] = {{L"Archives (*.dat)", L"*.dat"}, {L"All files", L"*.*"}};
  dialog->SetFileTypes(2, types);
  dialog->SetTitle(L"Open an archive");
  IShellItem* chosen = nullptr;
  wchar_t* path = nullptr;
  if (SUCCEEDED(dialog->Show(window_)) && SUCCEEDED(dialog->GetResult(&chosen)) &&
      SUCCEEDED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
    const std::string utf8 = Utf8FromWide(path);
    CoTaskMemFree(path);
    Open(utf8);
  }
  if (chosen != nullptr) chosen->Release();
  dialog->Release();
}

}  // namespace mgarc::window
