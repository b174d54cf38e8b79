// The preview pane. An image is decoded from the archive itself each time the
// pane changes size, straight to the size shown: its bytes are not held in
// memory beside what the system's decoder holds.
#include "mgarc/window/preview_pane.h"

#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>
#include <mmsystem.h>
#include <shlwapi.h>

#include <algorithm>

#include "mgarc/window/com_object.h"
#include "mgarc/window/scaling.h"
#include "platform/arguments.h"
#include "platform/file_stream.h"
#include "platform/win32/wide_text.h"

namespace mgarc::window {

namespace {

enum PaneControl : int { kTextBox = 1, kPlay, kStop };

constexpr std::uint64_t kTextBytes = 1 << 20;     // the text shown, at most
constexpr std::uint64_t kSoundBytes = 256 << 20;  // a sound, read whole to be played, at most

// The text box's line ends are "\r\n"; the games' files have either.
std::wstring WithLineEnds(const std::wstring& text) {
  std::wstring shown;
  shown.reserve(text.size() + text.size() / 32);
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (c == L'\n' && (i == 0 || text[i - 1] != L'\r')) shown += L'\r';
    if (c == L'\r' && (i + 1 == text.size() || text[i + 1] != L'\n')) {
      shown += L"\r\n";
      continue;
    }
    shown += c == L'\0' ? L' ' : c;  // the box would end the text at a zero
  }
  return shown;
}

std::wstring DecodeText(std::string_view bytes, std::wstring& what) {
  const TextChoice choice = ChooseTextEncoding(bytes);
  bytes.remove_prefix(choice.markSize);
  switch (choice.encoding) {
    case TextEncoding::kUtf8:
      what = L"text (UTF-8)";
      return WideFromUtf8(bytes);
    case TextEncoding::kUtf16LittleEndian:
    case TextEncoding::kUtf16BigEndian: {
      const bool big = choice.encoding == TextEncoding::kUtf16BigEndian;
      what = big ? L"text (UTF-16 BE)" : L"text (UTF-16 LE)";
      std::wstring text(bytes.size() / 2, L'\0');
      for (std::size_t i = 0; i < text.size(); ++i) {
        const auto first = static_cast<unsigned char>(bytes[2 * i]);
        const auto second = static_cast<unsigned char>(bytes[2 * i + 1]);
        text[i] = static_cast<wchar_t>(big ? (first << 8) | second : (second << 8) | first);
      }
      return text;
    }
    case TextEncoding::kCodePage932:
      break;
  }
  what = L"text (code page 932)";
  std::wstring text;
  if (!StrictWideFromCodePage(bytes, 932, text)) {
    text = WideFromCodePage(std::string(bytes).c_str(), 932);
  }
  return text;
}

std::vector<unsigned char> ReadEntry(const std::string& archive, std::uint64_t offset,
                                     std::uint64_t size, std::wstring& failure) {
  std::vector<unsigned char> bytes(static_cast<std::size_t>(size));
  InputFile file;
  if (!file.Open(PathFromUtf8(archive))) {
    failure = L"The archive cannot be opened: " + WideFromUtf8(SystemErrorUtf8(file.error()));
    return {};
  }
  bytes.resize(file.ReadAt(offset, bytes.data(), bytes.size()));
  if (file.error() != 0) {
    failure = L"The entry cannot be read: " + WideFromUtf8(SystemErrorUtf8(file.error()));
    return {};
  }
  return bytes;
}

}  // namespace

std::unique_ptr<PreviewPane> PreviewPane::Create(HWND parent, int id, HFONT font) {
  const HINSTANCE instance = GetModuleHandleW(nullptr);
  WNDCLASSEXW type{};
  type.cbSize = sizeof type;
  if (!GetClassInfoExW(instance, kPreviewClass, &type)) {
    type.cbSize = sizeof type;
    type.lpfnWndProc = Procedure;
    type.hInstance = instance;
    type.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    type.lpszClassName = kPreviewClass;
    if (RegisterClassExW(&type) == 0) return nullptr;
  }
  std::unique_ptr<PreviewPane> made(new PreviewPane());
  made->font_ = font;
  if (CreateWindowExW(WS_EX_CLIENTEDGE | WS_EX_CONTROLPARENT, kPreviewClass, L"",
                      WS_CHILD | WS_CLIPCHILDREN, 0, 0, 0, 0, parent,
                      reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance,
                      static_cast<OwnedWindow*>(made.get())) == nullptr) {
    made->window_ = nullptr;
    return nullptr;
  }
  return made;
}

PreviewPane::~PreviewPane() {
  Stop();
  if (image_ != nullptr) DeleteObject(image_);
  if (fixed_ != nullptr) DeleteObject(fixed_);
  if (imaging_ != nullptr) imaging_->Release();
}

LRESULT PreviewPane::Handle(UINT message, WPARAM w, LPARAM l) {
  switch (message) {
    case WM_CREATE: {
      const HINSTANCE instance = GetModuleHandleW(nullptr);
      auto make = [&](const wchar_t* type, const wchar_t* text, DWORD style, int id) {
        HWND child =
            CreateWindowExW(0, type, text, WS_CHILD | WS_TABSTOP | style, 0, 0, 0, 0, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
        SendMessageW(child, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        return child;
      };
      text_ = make(
          WC_EDITW, L"",
          ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL | WS_HSCROLL,
          kTextBox);
      play_ = make(WC_BUTTONW, L"&Play", BS_PUSHBUTTON, kPlay);
      stop_ = make(WC_BUTTONW, L"&Stop", BS_PUSHBUTTON, kStop);
      LOGFONTW fixed{};
      GetObjectW(font_, sizeof fixed, &fixed);
      fixed.lfPitchAndFamily = FIXED_PITCH | FF_MODERN;
      lstrcpynW(fixed.lfFaceName, L"Consolas", LF_FACESIZE);
      fixed_ = CreateFontIndirectW(&fixed);
      // Up to the 1 MiB of text shown, and then some: the box's own limit is 32 K characters.
      SendMessageW(text_, EM_SETLIMITTEXT, 0x7FFFFFFE, 0);
      return text_ != nullptr && play_ != nullptr && stop_ != nullptr ? 0 : -1;
    }
    case WM_SIZE:
      Layout();
      return 0;
    case WM_PAINT:
      Paint();
      return 0;
    case WM_COMMAND:
      if (LOWORD(w) == kPlay) Play();
      if (LOWORD(w) == kStop) Stop();
      return 0;
    default:
      return DefWindowProcW(window_, message, w, l);
  }
}

void PreviewPane::Layout() {
  RECT client{};
  GetClientRect(window_, &client);
  const int buttonWidth = Scaled(window_, 80);
  const int buttonHeight = Scaled(window_, 26);
  const int gap = Scaled(window_, 8);
  const bool sound = shown_ && kind_ == PreviewKind::kSound;
  const bool text = shown_ && (kind_ == PreviewKind::kText || kind_ == PreviewKind::kHex || sound);
  MoveWindow(text_, 0, sound ? buttonHeight + 2 * gap : 0, client.right,
             client.bottom - (sound ? buttonHeight + 2 * gap : 0), TRUE);
  MoveWindow(play_, gap, gap, buttonWidth, buttonHeight, TRUE);
  MoveWindow(stop_, 2 * gap + buttonWidth, gap, buttonWidth, buttonHeight, TRUE);
  ShowWindow(text_, text ? SW_SHOW : SW_HIDE);
  ShowWindow(play_, sound ? SW_SHOW : SW_HIDE);
  ShowWindow(stop_, sound ? SW_SHOW : SW_HIDE);
  if (shown_ && kind_ == PreviewKind::kImage) ShowImage();
  InvalidateRect(window_, nullptr, TRUE);
}

void PreviewPane::Paint() {
  PAINTSTRUCT paint{};
  HDC context = BeginPaint(window_, &paint);
  RECT client{};
  GetClientRect(window_, &client);
  if (shown_ && kind_ == PreviewKind::kImage && image_ != nullptr) {
    HDC memory = CreateCompatibleDC(context);
    HGDIOBJ before = SelectObject(memory, image_);
    BITMAP bitmap{};
    GetObjectW(image_, sizeof bitmap, &bitmap);
    const int left = (client.right - bitmap.bmWidth) / 2;
    const int top = (client.bottom - bitmap.bmHeight) / 2;
    BLENDFUNCTION blend{AC_SRC_OVER, 0, 255, AC_SRC_ALPHA};
    AlphaBlend(context, left, top, bitmap.bmWidth, bitmap.bmHeight, memory, 0, 0, bitmap.bmWidth,
               bitmap.bmHeight, blend);
    SelectObject(memory, before);
    DeleteDC(memory);
  } else if (!shown_) {
    HGDIOBJ before = SelectObject(context, font_);
    SetBkMode(context, TRANSPARENT);
    SetTextColor(context, GetSysColor(COLOR_GRAYTEXT));
    DrawTextW(context, L"Choose a file to preview it", -1, &client,
              DT_CENTER | DT_VCENTER | DT_SINGLELINE);
    SelectObject(context, before);
  }
  EndPaint(window_, &paint);
}

void PreviewPane::Describe(const std::wstring& what) {
  SetWindowTextW(window_, what.c_str());
}

void PreviewPane::Clear() {
  Stop();
  bytes_.clear();
  bytes_.shrink_to_fit();
  if (image_ != nullptr) DeleteObject(image_);
  image_ = nullptr;
  scaledTo_ = {};
  shown_ = false;
  imageArchive_.clear();
  SetWindowTextW(text_, L"");
  Describe(L"");
  Layout();
}

void PreviewPane::ShowText(const std::wstring& what, const std::wstring& text, bool fixedPitch) {
  SendMessageW(text_, WM_SETFONT, reinterpret_cast<WPARAM>(fixedPitch ? fixed_ : font_), FALSE);
  SetWindowTextW(text_, WithLineEnds(text).c_str());
  Describe(what);
}

void PreviewPane::Show(const std::string& archive, const std::string& name, std::uint64_t offset,
                       std::uint64_t size) {
  Clear();
  std::wstring failure;
  std::vector<unsigned char> head =
      ReadEntry(archive, offset, std::min<std::uint64_t>(size, kPreviewHead), failure);
  const auto view = [](const std::vector<unsigned char>& bytes) {
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  };
  kind_ = ChoosePreview(name, view(head));
  if (kind_ == PreviewKind::kSound && size > kSoundBytes) {
    kind_ = PreviewKind::kHex;
  }
  shown_ = true;
  std::uint64_t wanted = kind_ == PreviewKind::kText ? std::min(size, kTextBytes)
                         : kind_ == PreviewKind::kHex
                             ? std::min<std::uint64_t>(size, kHexPreviewBytes)
                             : size;
  if (kind_ == PreviewKind::kImage) wanted = 0;
  std::vector<unsigned char> bytes =
      failure.empty() ? ReadEntry(archive, offset, wanted, failure) : std::vector<unsigned char>();
  if (!failure.empty()) {
    kind_ = PreviewKind::kText;
    ShowText(L"failure", failure, false);
  } else if (kind_ == PreviewKind::kText) {
    std::wstring what;
    const std::wstring text = DecodeText(view(bytes), what);
    ShowText(what, text, false);
  } else if (kind_ == PreviewKind::kHex) {
    ShowText(L"hex", WideFromUtf8(HexView(view(bytes))), true);
  } else if (kind_ == PreviewKind::kSound) {
    bytes_ = std::move(bytes);
    ShowText(L"sound",
             L"A sound of " + std::to_wstring(bytes_.size()) +
                 L" bytes: Play (Enter in the list) or Stop.",
             false);
  } else {
    // Decoded from the archive itself: a large image is not held twice.
    imageArchive_ = archive;
    imageOffset_ = offset;
    imageSize_ = size;
  }
  Layout();
}

void PreviewPane::ShowImage() {
  RECT client{};
  GetClientRect(window_, &client);
  if (client.right <= 0 || client.bottom <= 0) return;
  if (image_ != nullptr && scaledTo_.cx == client.right && scaledTo_.cy == client.bottom) return;
  if (image_ != nullptr) DeleteObject(image_);
  image_ = nullptr;
  scaledTo_ = {client.right, client.bottom};
  if (imaging_ == nullptr &&
      FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&imaging_)))) {
    Describe(L"image: the system has no imaging component");
    return;
  }
  Held<IStream> file;
  Held<IWICStream> stream;
  Held<IWICBitmapDecoder> decoder;
  Held<IWICBitmapFrameDecode> frame;
  UINT width = 0;
  UINT height = 0;
  ULARGE_INTEGER offset{};
  offset.QuadPart = imageOffset_;
  ULARGE_INTEGER size{};
  size.QuadPart = imageSize_;
  if (FAILED(SHCreateStreamOnFileEx(WideFromUtf8(imageArchive_).c_str(),
                                    STGM_READ | STGM_SHARE_DENY_NONE, FILE_ATTRIBUTE_NORMAL, FALSE,
                                    nullptr, &file.object)) ||
      FAILED(imaging_->CreateStream(&stream.object)) ||
      FAILED(stream->InitializeFromIStreamRegion(file.object, offset, size)) ||
      FAILED(imaging_->CreateDecoderFromStream(stream.object, nullptr,
                                               WICDecodeMetadataCacheOnDemand, &decoder.object)) ||
      FAILED(decoder->GetFrame(0, &frame.object)) || FAILED(frame->GetSize(&width, &height)) ||
      width == 0 || height == 0) {
    Describe(L"image the system cannot decode");
    return;
  }
  // Shrunk to fit, never enlarged: a small image stays sharp.
  const double scale = std::min({1.0, static_cast<double>(client.right) / width,
                                 static_cast<double>(client.bottom) / height});
  const UINT shownWidth = std::max(1u, static_cast<UINT>(width * scale));
  const UINT shownHeight = std::max(1u, static_cast<UINT>(height * scale));
  Held<IWICBitmapScaler> scaler;
  Held<IWICBitmapSource> converted;
  if (FAILED(imaging_->CreateBitmapScaler(&scaler.object)) ||
      FAILED(scaler->Initialize(frame.object, shownWidth, shownHeight,
                                WICBitmapInterpolationModeFant)) ||
      FAILED(WICConvertBitmapSource(GUID_WICPixelFormat32bppPBGRA, scaler.object,
                                    &converted.object))) {
    Describe(L"image the system cannot decode");
    return;
  }
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = static_cast<LONG>(shownWidth);
  info.bmiHeader.biHeight = -static_cast<LONG>(shownHeight);  // top row first
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  image_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  const UINT stride = shownWidth * 4;
  if (image_ == nullptr || FAILED(converted->CopyPixels(nullptr, stride, stride * shownHeight,
                                                        static_cast<BYTE*>(bits)))) {
    if (image_ != nullptr) DeleteObject(image_);
    image_ = nullptr;
    Describe(L"image the system cannot decode");
    return;
  }
  Describe(L"image " + std::to_wstring(width) + L" \u00D7 " + std::to_wstring(height));
}

bool PreviewPane::Play() {
  if (!shown_ || kind_ != PreviewKind::kSound || bytes_.empty()) return false;
  const bool playing = PlaySoundW(reinterpret_cast<LPCWSTR>(bytes_.data()), nullptr,
                                  SND_MEMORY | SND_ASYNC | SND_NODEFAULT) != FALSE;
  Describe(playing ? L"sound, playing" : L"sound, which the system cannot play");
  return playing;
}

void PreviewPane::Stop() {
  // Before its bytes go: the system plays from them.
  PlaySoundW(nullptr, nullptr, 0);
  if (shown_ && kind_ == PreviewKind::kSound) Describe(L"sound");
}

}  // namespace mgarc::window
