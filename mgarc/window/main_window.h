// mgarc's window on Windows: an archive's directories as a tree, the files
// of the chosen one (or, with a filter, those below it that match) in a list
// that holds no rows of its own, a preview of the file chosen, and a status
// bar; and the engine's extract, update, diff, apply and verify behind its
// menu. What it shows is decided by BrowserModel; this file puts it on the
// screen and runs the operations.
#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>
#include <shellapi.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "mgarc/window/browser_model.h"
#include "mgarc/window/dialogs.h"
#include "mgarc/window/owned_window.h"
#include "mgarc/window/preview_pane.h"

namespace mgarc::window {

// The class of the main window, by which a test program finds it.
inline constexpr wchar_t kWindowClass[] = L"MarrowgilderWindow";

class MainWindow final : public OwnedWindow {
 public:
  // Makes the window, not yet shown; nullptr when the system gives none.
  static std::unique_ptr<MainWindow> Create(HINSTANCE instance);
  ~MainWindow() override;

  // Opens the archive at path (UTF-8); a problem is shown in a message box
  // with mgarc's words, and the window keeps what it showed.
  bool Open(const std::string& path);
  // Handles msg when it is one of the window's keys or moves between its
  // panes; false when it is for the usual dispatch.
  bool TakeKeys(MSG& msg);

 private:
  MainWindow() = default;
  LRESULT Handle(UINT message, WPARAM w, LPARAM l) override;
  // False when the system made one of them not.
  bool MakeChildren();
  void Layout();
  void Paint();
  void Command(int command);
  LRESULT Notify(const NMHDR& header);
  void FillTree();
  void AddBranches(HTREEITEM parent, std::uint32_t directory);
  void ShowRows();
  void SortRows();
  void ShowSortArrow();
  void ShowStatus();
  void AskForArchive();
  // Each takes what it needs in a form of its own, runs on another thread
  // with progress and Cancel, and says how it went.
  void Extract(bool all);
  std::vector<std::string> AskReplace(const std::vector<std::string>& kept,
                                      const std::wstring& folder);
  void PutBack(const std::wstring& folder);
  void PutBackFiles(const std::vector<std::wstring>& files);
  void MakePatch();
  void ApplyPatch();
  void Verify();
  void ShowFindingsList();
  void Dropped(HDROP drop);
  void Preview(bool play);
  std::vector<std::uint32_t> SelectedRows() const;
  std::wstring ArchiveName() const;
  // The folder beside the archive named after it, where extract would write.
  std::wstring DefaultFolder() const;
  const std::wstring& Cell(std::uint32_t node, int column);
  const std::wstring& TypeName(std::string_view name);

  HWND tree_ = nullptr;
  HWND filter_ = nullptr;
  HWND list_ = nullptr;
  HWND status_ = nullptr;
  std::unique_ptr<PreviewPane> preview_;
  HFONT font_ = nullptr;
  HACCEL keys_ = nullptr;

  std::string path_;  // the archive shown, UTF-8; empty before one is opened
  std::unique_ptr<BrowserModel> model_;
  std::uint32_t directory_ = BrowserModel::kRoot;
  std::vector<std::uint32_t> rows_;
  Column sortColumn_ = Column::kName;
  bool ascending_ = true;
  std::vector<FindingRow> findings_;  // the layout's at opening, verify's once it has run
  bool verified_ = false;
  std::wstring cell_;                              // the text last handed to the list
  std::map<std::string, std::wstring> typeNames_;  // by extension, as the Shell names them
};

}  // namespace mgarc::window
