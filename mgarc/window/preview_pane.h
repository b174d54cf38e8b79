// The preview of the entry chosen in the list: its text (code page 932, or
// UTF-8 / UTF-16 by their mark), its image as the system's imaging component
// decodes it, scaled to fit, its sound with Play and Stop, or its first
// 64 KiB in hex. The pane's own text says what it shows, for screen readers
// (and tests).
#pragma once

#include <windows.h>
// After windows.h, which it builds on.
#include <wincodec.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "mgarc/window/owned_window.h"
#include "mgarc/window/preview_choice.h"

namespace mgarc::window {

inline constexpr wchar_t kPreviewClass[] = L"MarrowgilderPreview";

class PreviewPane final : public OwnedWindow {
 public:
  // The pane, a child of parent; nullptr when the system gives none.
  static std::unique_ptr<PreviewPane> Create(HWND parent, int id, HFONT font);
  ~PreviewPane() override;

  // Shows the entry of name (UTF-8) whose bytes are at offset in the
  // archive at path (UTF-8); a read that fails is said in the pane.
  void Show(const std::string& archive, const std::string& name, std::uint64_t offset,
            std::uint64_t size);
  void Clear();
  // Plays a sound shown; false when none is.
  bool Play();

 private:
  PreviewPane() = default;
  LRESULT Handle(UINT message, WPARAM w, LPARAM l) override;
  void Layout();
  void Paint();
  void ShowText(const std::wstring& what, const std::wstring& text, bool fixedPitch);
  void ShowImage();
  void Stop();
  void Describe(const std::wstring& what);

  HWND text_ = nullptr;
  HWND play_ = nullptr;
  HWND stop_ = nullptr;
  HFONT font_ = nullptr;
  HFONT fixed_ = nullptr;
  PreviewKind kind_ = PreviewKind::kHex;
  bool shown_ = false;
  std::vector<unsigned char> bytes_;  // a sound's, while shown
  std::string imageArchive_;          // an image's archive (UTF-8), and where in it
  std::uint64_t imageOffset_ = 0;
  std::uint64_t imageSize_ = 0;
  HBITMAP image_ = nullptr;  // the image scaled to the pane
  SIZE scaledTo_{};          // the pane's size it was scaled for
  IWICImagingFactory* imaging_ = nullptr;
};

}  // namespace mgarc::window
