// Lengths at the window's resolution.
#pragma once

#include <windows.h>

namespace mgarc::window {

// The window's dots an inch: its monitor's where the system tells (Windows 10
// on), else the system's.
inline int Dpi(HWND window) {
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
inline int Scaled(HWND window, int pixels) {
  return MulDiv(pixels, Dpi(window), 96);
}

}  // namespace mgarc::window
