#include "mgarc/window/dialogs.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include "mgarc/window/shell_dialogs.h"
#include "mgarc/window/window_resources.h"

namespace mgarc::window {

namespace {

struct FormState {
  int dialog;
  PathForm* form;
};

std::wstring Text(HWND dialog, int control) {
  HWND field = GetDlgItem(dialog, control);
  std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(field)) + 1, L'\0');
  text.resize(
      static_cast<std::size_t>(GetWindowTextW(field, text.data(), static_cast<int>(text.size()))));
  return text;
}

void Browse(HWND dialog, int dialogId, int field) {
  Choose what = Choose::kFileToOpen;
  const wchar_t* title = L"Choose the edited archive";
  if (dialogId == IDD_FOLDER) {
    what = Choose::kFolder;
    title = L"Choose a folder";
  } else if (field == IDC_SECOND_PATH) {
    what = Choose::kFileToSave;
    title = dialogId == IDD_MAKE_PATCH ? L"Save the patch as" : L"Save the patched archive as";
  } else if (dialogId == IDD_APPLY_PATCH) {
    title = L"Choose the patch";
  }
  if (auto chosen = ChoosePath(dialog, what, title, Text(dialog, field))) {
    SetDlgItemTextW(dialog, field, chosen->c_str());
  }
}

void ShowCopyField(HWND dialog) {
  const bool toCopy = IsDlgButtonChecked(dialog, IDC_TO_COPY) == BST_CHECKED;
  EnableWindow(GetDlgItem(dialog, IDC_SECOND_PATH), toCopy);
  EnableWindow(GetDlgItem(dialog, IDC_SECOND_BROWSE), toCopy);
}

// Takes what was typed; false, and says what is missing, when a path is.
bool Take(HWND dialog, const FormState& state) {
  PathForm& form = *state.form;
  form.path = Text(dialog, IDC_PATH);
  if (state.dialog == IDD_APPLY_PATCH) {
    form.toCopy = IsDlgButtonChecked(dialog, IDC_TO_COPY) == BST_CHECKED;
  }
  const bool needsSecond =
      state.dialog == IDD_MAKE_PATCH || (state.dialog == IDD_APPLY_PATCH && form.toCopy);
  if (needsSecond) form.second = Text(dialog, IDC_SECOND_PATH);
  const int missing = form.path.empty()                    ? IDC_PATH
                      : needsSecond && form.second.empty() ? IDC_SECOND_PATH
                                                           : 0;
  if (missing == 0) return true;
  MessageBoxW(dialog, L"A path is missing: type one, or choose one with Browse\u2026",
              L"Marrowgilder", MB_ICONWARNING);
  SetFocus(GetDlgItem(dialog, missing));
  return false;
}

INT_PTR CALLBACK FormProcedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  auto* state = reinterpret_cast<FormState*>(GetWindowLongPtrW(dialog, DWLP_USER));
  switch (message) {
    case WM_INITDIALOG: {
      SetWindowLongPtrW(dialog, DWLP_USER, l);
      state = reinterpret_cast<FormState*>(l);
      const PathForm& form = *state->form;
      if (!form.caption.empty()) SetWindowTextW(dialog, form.caption.c_str());
      if (!form.action.empty()) SetDlgItemTextW(dialog, IDOK, form.action.c_str());
      SetDlgItemTextW(dialog, IDC_PROMPT, form.prompt.c_str());
      SetDlgItemTextW(dialog, IDC_PATH, form.path.c_str());
      if (state->dialog != IDD_FOLDER)
        SetDlgItemTextW(dialog, IDC_SECOND_PATH, form.second.c_str());
      if (state->dialog == IDD_APPLY_PATCH) {
        CheckRadioButton(dialog, IDC_IN_PLACE, IDC_TO_COPY,
                         form.toCopy ? IDC_TO_COPY : IDC_IN_PLACE);
        ShowCopyField(dialog);
      }
      return TRUE;
    }
    case WM_COMMAND:
      switch (LOWORD(w)) {
        case IDC_BROWSE:
          Browse(dialog, state->dialog, IDC_PATH);
          return TRUE;
        case IDC_SECOND_BROWSE:
          Browse(dialog, state->dialog, IDC_SECOND_PATH);
          return TRUE;
        case IDC_IN_PLACE:
        case IDC_TO_COPY:
          ShowCopyField(dialog);
          return TRUE;
        case IDOK:
          if (Take(dialog, *state)) EndDialog(dialog, IDOK);
          return TRUE;
        case IDCANCEL:
          EndDialog(dialog, IDCANCEL);
          return TRUE;
        default:
          return FALSE;
      }
    default:
      return FALSE;
  }
}

struct FindingsState {
  const std::wstring* heading;
  const std::vector<FindingRow>* rows;
};

void FillFindings(HWND dialog, const FindingsState& state) {
  SetDlgItemTextW(dialog, IDC_PROMPT, state.heading->c_str());
  HWND list = GetDlgItem(dialog, IDC_FINDINGS_LIST);
  ListView_SetExtendedListViewStyle(list, LVS_EX_FULLROWSELECT);
  RECT place{};
  GetClientRect(list, &place);
  const wchar_t* titles[] = {L"Entry", L"Finding"};
  const int widths[] = {place.right * 2 / 5, place.right * 3 / 5 - GetSystemMetrics(SM_CXVSCROLL)};
  for (int c = 0; c < 2; ++c) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH;
    column.pszText = const_cast<wchar_t*>(titles[c]);
    column.cx = widths[c];
    ListView_InsertColumn(list, c, &column);
  }
  int index = 0;
  for (const FindingRow& row : *state.rows) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<wchar_t*>(row.subject.c_str());
    ListView_InsertItem(list, &item);
    ListView_SetItemText(list, index, 1, const_cast<wchar_t*>(row.finding.c_str()));
    ++index;
  }
}

INT_PTR CALLBACK FindingsProcedure(HWND dialog, UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_INITDIALOG:
      FillFindings(dialog, *reinterpret_cast<FindingsState*>(l));
      return TRUE;
    case WM_SIZE: {
      // The list takes what the dialog gains; Close stays in its corner.
      RECT client{};
      GetClientRect(dialog, &client);
      HWND list = GetDlgItem(dialog, IDC_FINDINGS_LIST);
      HWND close = GetDlgItem(dialog, IDCANCEL);
      RECT button{};
      GetWindowRect(close, &button);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&button), 2);
      RECT listPlace{};
      GetWindowRect(list, &listPlace);
      MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&listPlace), 2);
      const int margin = listPlace.left;
      const int buttonWidth = button.right - button.left;
      const int buttonHeight = button.bottom - button.top;
      MoveWindow(close, client.right - margin - buttonWidth, client.bottom - margin - buttonHeight,
                 buttonWidth, buttonHeight, TRUE);
      MoveWindow(list, margin, listPlace.top, client.right - 2 * margin,
                 client.bottom - 2 * margin - buttonHeight - listPlace.top, TRUE);
      return TRUE;
    }
    case WM_COMMAND:
      if (LOWORD(w) == IDCANCEL || LOWORD(w) == IDOK) EndDialog(dialog, IDCANCEL);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace

bool AskPaths(HWND owner, int dialog, PathForm& form) {
  FormState state{dialog, &form};
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog), owner, FormProcedure,
                         reinterpret_cast<LPARAM>(&state)) == IDOK;
}

void ShowFindings(HWND owner, const std::wstring& heading, const std::vector<FindingRow>& rows) {
  FindingsState state{&heading, &rows};
  DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_FINDINGS), owner,
                  FindingsProcedure, reinterpret_cast<LPARAM>(&state));
}

}  // namespace mgarc::window
