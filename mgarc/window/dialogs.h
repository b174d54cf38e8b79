// The window's own dialogs: forms that ask for the paths an operation needs
// (typed, or chosen with Browse… in the Shell's dialogs), and the list of an
// archive's findings.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace mgarc::window {

struct PathForm {
  std::wstring caption;  // empty: the dialog's own
  std::wstring prompt;   // what will be done, above the fields
  std::wstring action;   // the OK button's words; empty: the dialog's own
  std::wstring path;     // offered, then as typed
  std::wstring second;   // the second path, where the form has one
  bool toCopy = false;   // applying a patch: into the second path, not in place
};

// dialog: IDD_FOLDER (a folder), IDD_MAKE_PATCH (the edited archive, the
// patch to write) or IDD_APPLY_PATCH (the patch; in place, or a copy). False
// when the person cancelled.
bool AskPaths(HWND owner, int dialog, PathForm& form);

// A row of the findings list: what it is about, and what was found.
struct FindingRow {
  std::wstring subject;
  std::wstring finding;
};

void ShowFindings(HWND owner, const std::wstring& heading, const std::vector<FindingRow>& rows);

}  // namespace mgarc::window
