// Long work (extract, update, patches, verify) runs on a thread of its own
// while the window's thread shows its progress in a dialog with Cancel and
// keeps answering: the dialog runs the window's messages as it waits.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "mgarc/engine/observer.h"

namespace mgarc::window {

struct WorkDone {
  std::vector<engine::Problem> problems;  // as the operation reported them, in order
  bool cancelled = false;                 // the person pressed Cancel
};

// Runs work(observer) on another thread and returns once it has ended. Work
// done within a moment shows no dialog; longer work shows title, a progress
// bar and Cancel, which asks the operation to stop and waits until it has.
WorkDone RunWithProgress(HWND owner, const std::wstring& title,
                         const std::function<void(engine::Observer&)>& work);

}  // namespace mgarc::window
