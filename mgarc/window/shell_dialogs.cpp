#include "mgarc/window/shell_dialogs.h"

#include <shobjidl.h>

#include <filesystem>

#include "mgarc/window/com_object.h"

namespace mgarc::window {

namespace {

void StartAt(IFileDialog* dialog, const std::wstring& initial, bool folder) {
  if (initial.empty()) return;
  const std::filesystem::path path(initial);
  const std::filesystem::path where = folder ? path : path.parent_path();
  Held<IShellItem> item;
  if (!where.empty() &&
      SUCCEEDED(SHCreateItemFromParsingName(where.c_str(), nullptr, IID_PPV_ARGS(&item.object)))) {
    dialog->SetFolder(item.object);
  }
  if (!folder) dialog->SetFileName(path.filename().c_str());
}

}  // namespace

std::optional<std::wstring> ChoosePath(HWND owner, Choose what, const wchar_t* title,
                                       const std::wstring& initial) {
  Held<IFileDialog> dialog;
  const CLSID type = what == Choose::kFileToSave ? CLSID_FileSaveDialog : CLSID_FileOpenDialog;
  if (FAILED(CoCreateInstance(type, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.object)))) {
    return std::nullopt;
  }
  DWORD options = 0;
  dialog->GetOptions(&options);
  options |= FOS_FORCEFILESYSTEM;
  if (what == Choose::kFolder) options |= FOS_PICKFOLDERS;
  if (what == Choose::kFileToOpen) options |= FOS_FILEMUSTEXIST;
  dialog->SetOptions(options);
  if (what != Choose::kFolder) {
    const COMDLG_FILTERSPEC types[] = {{L"All files", L"*.*"}};
    dialog->SetFileTypes(1, types);
  }
  dialog->SetTitle(title);
  StartAt(dialog.object, initial, what == Choose::kFolder);
  Held<IShellItem> chosen;
  wchar_t* path = nullptr;
  if (FAILED(dialog->Show(owner)) || FAILED(dialog->GetResult(&chosen.object)) ||
      FAILED(chosen->GetDisplayName(SIGDN_FILESYSPATH, &path))) {
    return std::nullopt;
  }
  std::wstring result = path;
  CoTaskMemFree(path);
  return result;
}

}  // namespace mgarc::window
