// The Shell's dialogs for choosing a file to open, a name to save as, or a
// folder.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace mgarc::window {

enum class Choose { kFileToOpen, kFileToSave, kFolder };

// The path chosen, or nothing when the person cancelled; initial (a path,
// or empty) is where the dialog starts and the name it offers.
std::optional<std::wstring> ChoosePath(HWND owner, Choose what, const wchar_t* title,
                                       const std::wstring& initial);

}  // namespace mgarc::window
