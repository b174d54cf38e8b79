#include "mgarc/window/background_work.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <atomic>
#include <mutex>
#include <thread>

namespace mgarc::window {

namespace {

// What the operation says, kept for the window's thread to read.
class WorkObserver final : public engine::Observer {
 public:
  void Progressed(const engine::Progress& progress) override {
    bytesDone_ = progress.bytesDone;
    bytes_ = progress.bytes;
    itemsDone_ = progress.itemsDone;
    items_ = progress.items;
  }
  void ProblemFound(const engine::Problem& problem) override {
    std::lock_guard<std::mutex> lock(mutex_);
    problems_.push_back(problem);
  }
  bool StopRequested() override { return stop_; }

  // Thousandths done, by bytes where the operation counts them, else by items.
  int Permille() const {
    const std::uint64_t bytes = bytes_;
    const std::uint64_t items = items_;
    if (bytes > 0) return static_cast<int>(bytesDone_ * 1000 / bytes);
    if (items > 0) return static_cast<int>(itemsDone_ * 1000 / items);
    return 0;
  }
  std::wstring Counts() const {
    const std::uint64_t items = items_;
    if (items == 0) return L"";
    return std::to_wstring(itemsDone_.load()) + L" of " + std::to_wstring(items);
  }
  void Stop() { stop_ = true; }
  std::vector<engine::Problem> TakeProblems() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(problems_);
  }

  std::atomic<bool> finished{false};

 private:
  std::atomic<std::uint64_t> bytesDone_{0}, bytes_{0}, itemsDone_{0}, items_{0};
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<engine::Problem> problems_;
};

struct DialogState {
  WorkObserver* observer;
  bool cancelled = false;
};

HRESULT CALLBACK Progressing(HWND dialog, UINT notice, WPARAM w, LPARAM, LONG_PTR data) {
  auto& state = *reinterpret_cast<DialogState*>(data);
  switch (notice) {
    case TDN_CREATED:
      SendMessageW(dialog, TDM_SET_PROGRESS_BAR_RANGE, 0, MAKELPARAM(0, 1000));
      return S_OK;
    case TDN_TIMER: {
      if (state.observer->finished) {
        // Closing by its one button: the work has ended, so it is let through.
        SendMessageW(dialog, TDM_CLICK_BUTTON, IDCANCEL, 0);
        return S_OK;
      }
      SendMessageW(dialog, TDM_SET_PROGRESS_BAR_POS,
                   static_cast<WPARAM>(state.observer->Permille()), 0);
      if (!state.cancelled) {
        const std::wstring counts = state.observer->Counts();
        SendMessageW(dialog, TDM_SET_ELEMENT_TEXT, TDE_CONTENT,
                     reinterpret_cast<LPARAM>(counts.c_str()));
      }
      return S_OK;
    }
    case TDN_BUTTON_CLICKED:
      if (state.observer->finished) return S_OK;
      if (static_cast<int>(w) == IDCANCEL && !state.cancelled) {
        state.cancelled = true;
        state.observer->Stop();
        SendMessageW(dialog, TDM_SET_ELEMENT_TEXT, TDE_CONTENT,
                     reinterpret_cast<LPARAM>(L"Stopping: nothing is left half-written\u2026"));
      }
      return S_FALSE;  // open until the work has ended
    default:
      return S_OK;
  }
}

}  // namespace

WorkDone RunWithProgress(HWND owner, const std::wstring& title,
                         const std::function<void(engine::Observer&)>& work) {
  WorkObserver observer;
  std::thread worker([&observer, &work] {
    work(observer);
    observer.finished = true;
  });
  // A moment's work shows no dialog that would flash and go.
  for (int waited = 0; waited < 25 && !observer.finished; ++waited) Sleep(10);
  DialogState state{&observer};
  if (!observer.finished) {
    TASKDIALOGCONFIG config{};
    config.cbSize = sizeof config;
    config.hwndParent = owner;
    config.dwFlags = TDF_SHOW_PROGRESS_BAR | TDF_CALLBACK_TIMER | TDF_ALLOW_DIALOG_CANCELLATION |
                     TDF_POSITION_RELATIVE_TO_WINDOW;
    config.dwCommonButtons = TDCBF_CANCEL_BUTTON;
    config.pszWindowTitle = L"Marrowgilder";
    config.pszMainInstruction = title.c_str();
    config.pszContent = L"";
    config.pfCallback = Progressing;
    config.lpCallbackData = reinterpret_cast<LONG_PTR>(&state);
    if (FAILED(TaskDialogIndirect(&config, nullptr, nullptr, nullptr))) {
      // No dialog: the work still ends, and the window waits for it.
      state.cancelled = false;
    }
  }
  worker.join();
  return {observer.TakeProblems(), state.cancelled};
}

}  // namespace mgarc::window
