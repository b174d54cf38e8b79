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
#include <set>

#include "mgarc/engine/apply.h"
#include "mgarc/engine/archive_checks.h"
#include "mgarc/engine/archive_view.h"
#include "mgarc/engine/diff.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/extract.h"
#include "mgarc/engine/update.h"
#include "mgarc/engine/verify.h"
#include "mgarc/window/background_work.h"
#include "mgarc/window/scaling.h"
#include "mgarc/window/shell_dialogs.h"
#include "mgarc/window/window_resources.h"
#include "platform/case_folding.h"
#include "platform/text_conversion.h"
#include "platform/win32/wide_text.h"

namespace mgarc::window {

namespace {

enum ChildId : int { kFilterBox = 400, kPreviewPane };

enum ListColumn : int { kNameColumn, kSizeColumn, kTypeColumn, kOffsetColumn };

constexpr wchar_t kEmptyText[] = L"Open an archive (Ctrl+O) or drop one here";

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

// A problem in mgarc's words: "SUBJECT: REASON".
std::wstring ProblemText(const engine::Problem& problem) {
  return WideFromUtf8(problem.subject + ": " + problem.reason);
}

void ShowProblem(HWND window, const engine::Problem& problem) {
  MessageBoxW(window, ProblemText(problem).c_str(), L"Marrowgilder", MB_ICONWARNING);
}

// Problems one a line, under heading; a long list ends with how many more.
void ShowProblems(HWND window, const std::wstring& heading,
                  const std::vector<engine::Problem>& problems, UINT icon = MB_ICONWARNING) {
  constexpr std::size_t kShown = 20;
  std::wstring text = heading;
  for (std::size_t i = 0; i < problems.size() && i < kShown; ++i) {
    text += L"\n" + ProblemText(problems[i]);
  }
  if (problems.size() > kShown) {
    text += L"\n… and " + Grouped(problems.size() - kShown) + L" more";
  }
  MessageBoxW(window, text.c_str(), L"Marrowgilder", icon);
}

std::wstring Plural(std::size_t count, const wchar_t* one, const wchar_t* many) {
  return Grouped(count) + L" " + (count == 1 ? one : many);
}

// A question in a task dialog: choices (the first the default), and with
// forAll, a box to tick that answers the same for the rest. The button
// chosen; IDCANCEL when the dialog was closed.
struct Choice {
  int id;
  const wchar_t* text;
};
int Ask(HWND window, const std::wstring& question, const std::wstring& details,
        const std::vector<Choice>& choices, const std::wstring& forAll = {}, bool* ticked = nullptr,
        const std::wstring& more = {}) {
  std::vector<TASKDIALOG_BUTTON> buttons;
  for (const Choice& choice : choices) buttons.push_back({choice.id, choice.text});
  TASKDIALOGCONFIG config{};
  config.cbSize = sizeof config;
  config.hwndParent = window;
  config.dwFlags = TDF_ALLOW_DIALOG_CANCELLATION | TDF_POSITION_RELATIVE_TO_WINDOW;
  // Choices ask, with Cancel; none: it only tells, with OK.
  config.dwCommonButtons = choices.empty() ? TDCBF_OK_BUTTON : TDCBF_CANCEL_BUTTON;
  config.pszWindowTitle = L"Marrowgilder";
  config.pszMainInstruction = question.c_str();
  config.pszContent = details.c_str();
  config.cButtons = static_cast<UINT>(buttons.size());
  config.pButtons = buttons.data();
  if (!choices.empty()) config.nDefaultButton = choices.front().id;
  if (!forAll.empty()) config.pszVerificationText = forAll.c_str();
  if (!more.empty()) {
    config.pszExpandedInformation = more.c_str();
    config.pszExpandedControlText = L"Hide the list";
    config.pszCollapsedControlText = L"Show the list";
  }
  int chosen = IDCANCEL;
  BOOL tick = FALSE;
  if (FAILED(TaskDialogIndirect(&config, &chosen, nullptr, &tick))) return IDCANCEL;
  if (ticked != nullptr) *ticked = tick != FALSE;
  return chosen;
}

// The words a task dialog's content takes: its lines, at most a screenful.
std::wstring Lines(const std::vector<std::string>& lines) {
  constexpr std::size_t kShown = 30;
  std::wstring text;
  for (std::size_t i = 0; i < lines.size() && i < kShown; ++i) {
    text += (i == 0 ? L"" : L"\n") + WideFromUtf8(lines[i]);
  }
  if (lines.size() > kShown) text += L"\n… and " + Grouped(lines.size() - kShown) + L" more";
  return text;
}

std::string Utf8Path(const std::filesystem::path& path) {
  return Utf8FromWide(path.wstring());
}

std::wstring FindingSubject(const engine::ArchiveView& archive, const engine::Finding& finding) {
  if (finding.index) {
    return L"entry " + std::to_wstring(*finding.index) + L" (" +
           WideFromUtf8(archive.entries[static_cast<std::size_t>(*finding.index - 1)].shown()) +
           L")";
  }
  if (!finding.name.empty()) return WideFromUtf8(finding.name);
  return L"the archive";
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
                      nullptr, LoadMenuW(instance, MAKEINTRESOURCEW(IDR_MAIN_MENU)), instance,
                      static_cast<OwnedWindow*>(made.get())) == nullptr) {
    made->window_ = nullptr;  // gone with the window that was never made
    return nullptr;
  }
  ACCEL keys[] = {{FVIRTKEY | FCONTROL, 'O', IDM_OPEN},
                  {FVIRTKEY | FCONTROL, 'E', IDM_EXTRACT},
                  {FVIRTKEY | FCONTROL, 'F', IDM_FIND},
                  {FVIRTKEY, VK_F5, IDM_RELOAD}};
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
    case WM_DROPFILES:
      Dropped(reinterpret_cast<HDROP>(w));
      return 0;
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
  preview_ = PreviewPane::Create(window_, kPreviewPane, font_);
  if (tree_ == nullptr || filter_ == nullptr || list_ == nullptr || status_ == nullptr ||
      preview_ == nullptr) {
    return false;
  }
  for (HWND pane : {tree_, filter_, list_, preview_->handle()}) ShowWindow(pane, SW_HIDE);
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
  // The list above, the preview below: each as tall as the other.
  const int listHeight = (height - filterHeight - 2 * gap) / 2;
  MoveWindow(list_, treeWidth + gap, filterHeight + gap, width - treeWidth - gap, listHeight, TRUE);
  MoveWindow(preview_->handle(), treeWidth + gap, filterHeight + listHeight + 2 * gap,
             width - treeWidth - gap, height - filterHeight - listHeight - 2 * gap, TRUE);
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
    case IDM_OPEN:
      AskForArchive();
      return;
    case IDM_EXIT:
      DestroyWindow(window_);
      return;
    default:
      break;
  }
  if (model_ == nullptr) return;  // the rest work on the archive shown
  switch (command) {
    case IDM_RELOAD:
      Open(path_);
      break;
    case IDM_FIND:
      SetFocus(filter_);
      SendMessageW(filter_, EM_SETSEL, 0, -1);
      break;
    case IDM_EXTRACT:
    case IDM_EXTRACT_ALL:
      Extract(command == IDM_EXTRACT_ALL);
      break;
    case IDM_PUT_BACK: {
      PathForm form;
      form.caption = L"Put back";
      form.action = L"&Put back";
      form.prompt = L"The folder's files replace the entries of " + ArchiveName() +
                    L" at the same paths; the others are added. You see what would change "
                    L"before anything is written.";
      form.path = DefaultFolder();
      if (AskPaths(window_, IDD_FOLDER, form)) PutBack(form.path);
      break;
    }
    case IDM_MAKE_PATCH:
      MakePatch();
      break;
    case IDM_APPLY_PATCH:
      ApplyPatch();
      break;
    case IDM_VERIFY:
      Verify();
      break;
    case IDM_FINDINGS:
      ShowFindingsList();
      break;
    case IDOK:
      // Enter: in the list, the file chosen is previewed (and a sound played).
      if (GetFocus() == list_) Preview(true);
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
  verified_ = false;
  findings_.clear();
  for (const engine::Finding& finding : engine::CheckArchiveLayout(archive)) {
    findings_.push_back(
        {FindingSubject(archive, finding), WideFromUtf8(finding.kind + ": " + finding.message)});
  }
  for (const engine::Problem& problem : model_->problems()) {
    findings_.push_back(
        {WideFromUtf8(problem.subject), L"not shown: " + WideFromUtf8(problem.reason)});
  }
  SetWindowTextW(window_, (ArchiveName() + L" \u2014 Marrowgilder").c_str());
  preview_->Clear();
  for (HWND pane : {tree_, filter_, list_, preview_->handle()}) ShowWindow(pane, SW_SHOW);
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
  preview_->Clear();
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
    const std::vector<std::uint32_t> selected = SelectedRows();
    parts[1] = selected.empty()
                   ? Counted(model_->Count(rows_), L"file", L"files") + L" shown"
                   : Counted(model_->Count(selected), L"file", L"files") + L" selected";
    // The findings' part is a link to their list.
    if (!findings_.empty()) {
      parts[2] = Plural(findings_.size(), L"finding", L"findings") +
                 (verified_ ? L" (verified)" : L"") + L": click to see " +
                 (findings_.size() == 1 ? L"it" : L"them");
    } else if (verified_) {
      parts[2] = L"Verified: no findings";
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
  if (header.hwndFrom == status_ && header.code == NM_CLICK) {
    if (reinterpret_cast<const NMMOUSE&>(header).dwItemSpec == 2) ShowFindingsList();
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
    case LVN_ITEMCHANGED: {
      ShowStatus();
      const auto& change = reinterpret_cast<const NMLISTVIEW&>(header);
      if ((change.uNewState & LVIS_SELECTED) != 0 && (change.uOldState & LVIS_SELECTED) == 0 &&
          ListView_GetSelectedCount(list_) == 1) {
        Preview(false);
      }
      return 0;
    }
    case LVN_ODSTATECHANGED:
      ShowStatus();
      return 0;
    case LVN_ITEMACTIVATE:
      Preview(true);
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
  const std::wstring start = path_.empty() ? L"" : WideFromUtf8(path_);
  if (auto chosen = ChoosePath(window_, Choose::kFileToOpen, L"Open an archive", start)) {
    Open(Utf8FromWide(*chosen));
  }
}

std::wstring MainWindow::ArchiveName() const {
  return std::filesystem::path(WideFromUtf8(path_)).filename().wstring();
}

std::wstring MainWindow::DefaultFolder() const {
  return (std::filesystem::path(WideFromUtf8(path_)).parent_path() /
          WideFromUtf8(engine::DefaultDirectoryName(Utf8FromWide(ArchiveName()))))
      .wstring();
}

std::vector<std::uint32_t> MainWindow::SelectedRows() const {
  std::vector<std::uint32_t> selected;
  for (int i = ListView_GetNextItem(list_, -1, LVNI_SELECTED);
       i >= 0 && static_cast<std::size_t>(i) < rows_.size();) {
    selected.push_back(rows_[static_cast<std::size_t>(i)]);
    const int next = ListView_GetNextItem(list_, i, LVNI_SELECTED);
    i = next > i ? next : -1;
  }
  return selected;
}

void MainWindow::Preview(bool play) {
  const int row = ListView_GetNextItem(list_, -1, LVNI_FOCUSED | LVNI_SELECTED);
  if (row < 0 || static_cast<std::size_t>(row) >= rows_.size()) return;
  const std::uint32_t node = rows_[static_cast<std::size_t>(row)];
  preview_->Show(path_, std::string(model_->Name(node)), model_->Offset(node), model_->Size(node));
  if (play) preview_->Play();
}

void MainWindow::Dropped(HDROP drop) {
  std::vector<std::wstring> paths;
  const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
  for (UINT i = 0; i < count; ++i) {
    std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
    path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
    paths.push_back(path);
  }
  DragFinish(drop);
  if (paths.empty()) return;
  // An archive is opened; a folder or files dropped on an archive shown are put back into it.
  std::error_code error;
  engine::ArchiveView probe;
  const bool archive = paths.size() == 1 && !std::filesystem::is_directory(paths[0], error) &&
                       !engine::LoadArchive(Utf8FromWide(paths[0]), probe);
  if (model_ == nullptr || archive) {
    Open(Utf8FromWide(paths[0]));
  } else if (paths.size() == 1 && std::filesystem::is_directory(paths[0], error)) {
    PutBack(paths[0]);
  } else {
    PutBackFiles(paths);
  }
}

void MainWindow::Extract(bool all) {
  std::vector<std::string> names;
  if (!all) {
    for (std::uint32_t node : SelectedRows()) names.push_back(model_->Path(node));
  }
  PathForm form;
  form.caption = L"Extract";
  form.action = L"&Extract";
  form.prompt =
      (names.empty() ? L"Every file of " + ArchiveName()
                     : Plural(names.size(), L"file", L"files") + L" of " + ArchiveName()) +
      L" into this folder. A file there that differs is kept unless you say to replace it.";
  form.path = DefaultFolder();
  if (!AskPaths(window_, IDD_FOLDER, form)) return;
  engine::ExtractOptions options;
  options.archive = path_;
  options.names = names;
  options.directory = Utf8FromWide(form.path);
  engine::ExtractResult result;
  WorkDone done = RunWithProgress(
      window_, L"Extracting from " + ArchiveName(),
      [&](engine::Observer& observer) { result = engine::Extract(options, observer); });
  if (result.refused) {
    ShowProblem(window_, *result.refused);
    return;
  }
  std::size_t files = result.files;
  std::size_t kept = result.kept.size();
  std::vector<engine::Problem> problems;
  // The files kept are asked about below, not reported.
  std::set<std::string> keptLines;
  for (const std::string& name : result.kept) {
    keptLines.insert("kept " + options.directory + "/" + name);
  }
  for (engine::Problem& problem : done.problems) {
    if (keptLines.count(problem.subject) == 0) problems.push_back(std::move(problem));
  }
  if (!result.stopped && !result.kept.empty()) {
    engine::ExtractOptions replacing = options;
    replacing.names = AskReplace(result.kept, form.path);
    replacing.existing = engine::ExistingFiles::kReplace;
    if (!replacing.names.empty()) {
      engine::ExtractResult replaced;
      WorkDone again = RunWithProgress(
          window_, L"Replacing files from " + ArchiveName(),
          [&](engine::Observer& observer) { replaced = engine::Extract(replacing, observer); });
      if (replaced.refused) problems.push_back(*replaced.refused);
      problems.insert(problems.end(), again.problems.begin(), again.problems.end());
      files += replaced.files;
      kept -= replaced.files;
      result.stopped = replaced.stopped;
    }
  }
  std::wstring summary =
      Plural(files, L"file", L"files") + L" of " + ArchiveName() + L" in " + form.path;
  if (kept > 0)
    summary += L"; " + Plural(kept, L"file that differs", L"files that differ") + L" kept";
  if (result.stopped) {
    summary = L"Stopped: " + summary + L". No file is left half-written.";
  } else {
    summary += L".";
  }
  ShowProblems(window_, summary, problems, problems.empty() ? MB_ICONINFORMATION : MB_ICONWARNING);
}

std::vector<std::string> MainWindow::AskReplace(const std::vector<std::string>& kept,
                                                const std::wstring& folder) {
  std::vector<std::string> replace;
  int forAll = 0;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    int choice = forAll;
    if (choice == 0) {
      const std::size_t left = kept.size() - i;
      bool ticked = false;
      choice = Ask(window_, WideFromUtf8(kept[i]) + L" is in the folder already, and differs",
                   L"The file in " + folder +
                       L" does not hold the archive's bytes: it may have been edited. Replace it "
                       L"with the archive's, or keep it?",
                   {{IDC_KEEP, L"&Keep"}, {IDC_REPLACE, L"&Replace"}},
                   left > 1 ? L"Do this for all " + Grouped(left) + L" files that differ" : L"",
                   &ticked);
      // Closed unanswered: nothing more is replaced.
      if (choice != IDC_REPLACE && choice != IDC_KEEP) return replace;
      if (ticked) forAll = choice;
    }
    if (choice == IDC_REPLACE) replace.push_back(kept[i]);
  }
  return replace;
}

void MainWindow::PutBack(const std::wstring& folder) {
  engine::UpdateOptions options;
  options.archive = path_;
  options.directory = Utf8FromWide(folder);
  std::unique_ptr<engine::PreparedUpdate> update;
  WorkDone looked = RunWithProgress(
      window_, L"Comparing " + folder + L" with " + ArchiveName(), [&](engine::Observer& observer) {
        update = std::make_unique<engine::PreparedUpdate>(engine::PrepareUpdate(options, observer));
      });
  if (looked.cancelled) return;
  if (update->refused) {
    looked.problems.push_back(*update->refused);
    ShowProblems(window_, L"Nothing was put back: " + ArchiveName() + L" is as it was.",
                 looked.problems);
    return;
  }
  if (update->upToDate()) {
    MessageBoxW(window_,
                (ArchiveName() + L": up to date (" + Grouped(update->plan.kept) +
                 L" kept): every file of the folder holds its entry's bytes already.")
                    .c_str(),
                L"Marrowgilder", MB_ICONINFORMATION);
    return;
  }
  std::vector<std::string> lines;
  for (const engine::UpdatedEntry& entry : update->plan.entries) {
    if (entry.file == nullptr) continue;
    lines.push_back((entry.old != nullptr ? "replaced " : "added ") + entry.file->relative);
  }
  for (const engine::Problem& note : update->leftOut)
    lines.push_back(note.subject + ": " + note.reason);
  for (const engine::Problem& note : looked.problems)
    lines.push_back(note.subject + ": " + note.reason);
  const int answer = Ask(window_, L"Put back into " + ArchiveName() + L"?",
                         WideFromUtf8(engine::PlanCounts(update->plan)) + L"\n" + Lines(lines),
                         {{IDC_GO, L"&Put back"}});
  if (answer != IDC_GO) return;
  engine::UpdateResult result;
  WorkDone written = RunWithProgress(
      window_, L"Putting back into " + ArchiveName(),
      [&](engine::Observer& observer) { result = engine::Update(*update, 0, observer); });
  update.reset();  // its view of the old archive goes before the new one is read
  if (result.refused || result.stopped) {
    if (result.refused) written.problems.push_back(*result.refused);
    ShowProblems(window_,
                 std::wstring(result.stopped ? L"Stopped" : L"Not written") + L": " +
                     ArchiveName() + L" is as it was.",
                 written.problems);
    return;
  }
  Open(path_);
}

void MainWindow::PutBackFiles(const std::vector<std::wstring>& files) {
  // The files go where the list shows them: into the directory shown, by
  // their names. They are copied into a folder of that shape for update.
  std::error_code error;
  const std::filesystem::path staging = std::filesystem::temp_directory_path(error) /
                                        (L"mgarcw-" + std::to_wstring(GetCurrentProcessId()) +
                                         L"-" + std::to_wstring(GetTickCount()));
  std::filesystem::path into = staging;
  if (directory_ != BrowserModel::kRoot) into /= WideFromUtf8(model_->Path(directory_));
  std::filesystem::create_directories(into, error);
  for (const std::wstring& file : files) {
    if (error) break;
    const std::filesystem::path from(file);
    if (std::filesystem::is_directory(from)) {
      std::filesystem::copy(from, into / from.filename(), std::filesystem::copy_options::recursive,
                            error);
    } else {
      std::filesystem::copy_file(from, into / from.filename(), error);
    }
  }
  if (error) {
    ShowProblem(window_, {Utf8Path(staging),
                          "cannot copy the files dropped for update: " +
                              Utf8FromWide(WideFromCodePage(error.message().c_str(), CP_ACP))});
  } else {
    PutBack(staging.wstring());
  }
  std::filesystem::remove_all(staging, error);
}

void MainWindow::MakePatch() {
  const std::filesystem::path archive(WideFromUtf8(path_));
  PathForm form;
  form.prompt = L"A patch that turns " + ArchiveName() +
                L" into the edited archive, for those who have the first.";
  form.second = (archive.parent_path() / archive.stem()).wstring() + L".patch";
  if (!AskPaths(window_, IDD_MAKE_PATCH, form)) return;
  engine::DiffOptions options;
  options.oldArchive = path_;
  options.newArchive = Utf8FromWide(form.path);
  options.patch = Utf8FromWide(form.second);
  engine::DiffResult result;
  WorkDone done = RunWithProgress(window_, L"Making the patch", [&](engine::Observer& observer) {
    result = engine::Diff(options, observer);
  });
  if (result.refused) {
    ShowProblem(window_, *result.refused);
    return;
  }
  if (result.stopped) {
    MessageBoxW(window_, L"Stopped: no patch was written.", L"Marrowgilder", MB_ICONINFORMATION);
    return;
  }
  const std::array<int, 4> counts = engine::ChangeCounts(result.difference);
  std::vector<std::string> lines;
  for (const engine::ArchiveChange& change : result.difference.changes) {
    lines.push_back(engine::ChangeLine(change));
  }
  const std::string wrote = "wrote " + options.patch + " (" + std::to_string(result.patchSize) +
                            " bytes): " + std::to_string(counts[0]) + " changed, " +
                            std::to_string(counts[1]) + " added, " + std::to_string(counts[2]) +
                            " removed";
  Ask(window_, WideFromUtf8(wrote), Lines(lines), {});
}

void MainWindow::ApplyPatch() {
  const std::filesystem::path archive(WideFromUtf8(path_));
  PathForm form;
  form.prompt = L"Turns " + ArchiveName() +
                L" into the archive the patch was made for, if it is the one the patch was made "
                L"from.";
  form.second = (archive.parent_path() / archive.stem()).wstring() + L" (patched)" +
                archive.extension().wstring();
  if (!AskPaths(window_, IDD_APPLY_PATCH, form)) return;
  engine::ApplyOptions options;
  options.patch = Utf8FromWide(form.path);
  options.archive = path_;
  if (form.toCopy) options.output = Utf8FromWide(form.second);
  engine::ApplyResult result;
  WorkDone done = RunWithProgress(window_, L"Applying the patch", [&](engine::Observer& observer) {
    result = engine::Apply(options, observer);
  });
  if (result.refused) {
    ShowProblem(window_, *result.refused);
    return;
  }
  if (result.stopped) {
    MessageBoxW(window_, (L"Stopped: " + ArchiveName() + L" is as it was.").c_str(),
                L"Marrowgilder", MB_ICONINFORMATION);
    return;
  }
  const std::string said = result.fit == engine::PatchFit::kAlreadyApplied
                               ? path_ + ": already up to date"
                               : result.target + ": patched, " + std::to_string(result.newSize) +
                                     " bytes, " + std::to_string(result.fromPatch) +
                                     " of them from the patch";
  MessageBoxW(window_, WideFromUtf8(said).c_str(), L"Marrowgilder", MB_ICONINFORMATION);
  if (!form.toCopy && result.fit == engine::PatchFit::kApplies) Open(path_);
}

void MainWindow::Verify() {
  engine::VerifyResult result;
  RunWithProgress(window_, L"Verifying " + ArchiveName(),
                  [&](engine::Observer& observer) { result = engine::Verify(path_, observer); });
  if (result.refused) {
    ShowProblem(window_, *result.refused);
    return;
  }
  if (result.stopped) return;
  findings_.clear();
  for (const engine::Finding& finding : result.findings) {
    findings_.push_back({FindingSubject(result.archive, finding),
                         WideFromUtf8(finding.kind + ": " + finding.message)});
  }
  for (const engine::Problem& problem : model_->problems()) {
    findings_.push_back(
        {WideFromUtf8(problem.subject), L"not shown: " + WideFromUtf8(problem.reason)});
  }
  verified_ = true;
  ShowStatus();
  ShowFindingsList();
}

void MainWindow::ShowFindingsList() {
  const std::size_t entries = model_->tree().nodes().empty() ? 0 : model_->whole().files;
  std::wstring heading = ArchiveName() + L": " + Plural(entries, L"file", L"files") + L", " +
                         (findings_.empty() ? std::wstring(L"no findings")
                                            : Plural(findings_.size(), L"finding", L"findings"));
  if (!verified_) heading += L" (the layout's; Verify reads every entry)";
  ShowFindings(window_, heading, findings_);
}

}  // namespace mgarc::window
