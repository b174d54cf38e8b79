// A window that a C++ object owns: the object comes with the creation
// message (as an OwnedWindow*, CreateWindowEx's last argument), is kept in
// the window's user data, and handles each message from then on.
#pragma once

#include <windows.h>

namespace mgarc::window {

class OwnedWindow {
 public:
  virtual ~OwnedWindow() = default;
  HWND handle() const { return window_; }

 protected:
  OwnedWindow() = default;
  OwnedWindow(const OwnedWindow&) = delete;
  OwnedWindow& operator=(const OwnedWindow&) = delete;

  // The window class's procedure.
  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM w, LPARAM l) {
    if (message == WM_NCCREATE) {
      auto* owner = static_cast<OwnedWindow*>(reinterpret_cast<CREATESTRUCTW*>(l)->lpCreateParams);
      owner->window_ = window;
      SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(owner));
    }
    auto* owner = reinterpret_cast<OwnedWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (owner == nullptr) return DefWindowProcW(window, message, w, l);
    return owner->Handle(message, w, l);
  }
  virtual LRESULT Handle(UINT message, WPARAM w, LPARAM l) = 0;

  HWND window_ = nullptr;
};

}  // namespace mgarc::window
