// The preview's choice: the bytes' own signature first (an image or a sound
// named .DAT is still one), then text by its mark, its name or its bytes.
#include "mgarc/window/preview_choice.h"

#include <array>
#include <string>

#include "mgarc/engine/entry_names.h"
#include "mgarc/window/browser_model.h"

namespace mgarc::window {

namespace {

bool Starts(std::string_view bytes, std::string_view signature) {
  return bytes.substr(0, signature.size()) == signature;
}

// The formats the system's imaging component decodes: BMP, PNG, JPEG, GIF,
// TIFF and icons.
bool IsImage(std::string_view head) {
  using namespace std::string_view_literals;
  constexpr std::array kSignatures = {
      "BM"sv,    "\x89PNG\r\n\x1A\n"sv, "\xFF\xD8\xFF"sv, "GIF87a"sv, "GIF89a"sv, "II*\0"sv,
      "MM\0*"sv, "\0\0\1\0"sv};
  for (std::string_view signature : kSignatures) {
    if (Starts(head, signature)) return true;
  }
  return false;
}

bool IsWave(std::string_view head) {
  return Starts(head, "RIFF") && head.size() >= 12 && head.substr(8, 4) == "WAVE";
}

// Names the games and their tools give text.
bool TextName(std::string_view name) {
  static const char* const kTypes[] = {"TXT", "CSV",  "INI", "XML", "HTM", "HTML",
                                       "LOG", "JSON", "KS",  "SCN", "MD"};
  const std::string type = TypeOf(name);
  for (const char* text : kTypes) {
    if (type == text) return true;
  }
  return false;
}

// Bytes that read as code page 932 text: characters of one byte or a lead
// byte and its trail, and no control character but tab, line ends and the
// old end-of-file mark. The last character may be cut by the head's end.
bool LooksLikeText(std::string_view head) {
  if (head.empty()) return false;
  for (std::size_t i = 0; i < head.size(); ++i) {
    const auto c = static_cast<unsigned char>(head[i]);
    if (c < 0x20) {
      if (c != '\t' && c != '\n' && c != '\r' && c != 0x1A) return false;
    } else if ((c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC)) {
      if (i + 1 == head.size()) break;
      const auto trail = static_cast<unsigned char>(head[++i]);
      if (trail < 0x40 || trail == 0x7F || trail > 0xFC) return false;
    } else if (c == 0x7F || c == 0x80 || c == 0xA0 || c > 0xFC) {
      return false;
    }
  }
  return true;
}

// UTF-8 through and through, with a character beyond ASCII and no control
// character but tab and line ends: code page 932 text is that by chance only
// when it is a few characters long. The last character may be cut by the
// head's end.
bool IsUtf8Text(std::string_view head) {
  bool beyondAscii = false;
  for (std::size_t i = 0; i < head.size();) {
    const std::size_t at = i;
    const char32_t c = engine::NextCharacter(head, i);
    if (c >= 0x110000) {
      return beyondAscii && at + 4 > head.size() && static_cast<unsigned char>(head[at]) >= 0xC2;
    }
    if (c < 0x20 && c != '\t' && c != '\n' && c != '\r') return false;
    if (c >= 0x80) beyondAscii = true;
  }
  return beyondAscii;
}

}  // namespace

PreviewKind ChoosePreview(std::string_view name, std::string_view head) {
  if (IsImage(head)) return PreviewKind::kImage;
  if (IsWave(head)) return PreviewKind::kSound;
  if (ChooseTextEncoding(head).encoding != TextEncoding::kCodePage932) return PreviewKind::kText;
  if (TextName(name) || LooksLikeText(head)) return PreviewKind::kText;
  return PreviewKind::kHex;
}

TextChoice ChooseTextEncoding(std::string_view head) {
  if (Starts(head, "\xEF\xBB\xBF")) return {TextEncoding::kUtf8, 3};
  if (Starts(head, "\xFF\xFE")) return {TextEncoding::kUtf16LittleEndian, 2};
  if (Starts(head, "\xFE\xFF")) return {TextEncoding::kUtf16BigEndian, 2};
  if (IsUtf8Text(head)) return {TextEncoding::kUtf8, 0};
  return {};
}

std::string HexView(std::string_view bytes) {
  static const char kDigits[] = "0123456789abcdef";
  constexpr std::size_t kLine = 16;
  // Offset, two spaces, 16 * 3 + 1 for the bytes, a space, the bars and text, the line end.
  constexpr std::size_t kLineSize = 8 + 2 + kLine * 3 + 1 + 1 + kLine + 2 + 2;
  std::string view;
  view.reserve((bytes.size() + kLine - 1) / kLine * kLineSize);
  for (std::size_t at = 0; at < bytes.size(); at += kLine) {
    for (int shift = 28; shift >= 0; shift -= 4) view += kDigits[(at >> shift) & 0xF];
    view += "  ";
    const std::string_view line = bytes.substr(at, kLine);
    for (std::size_t i = 0; i < kLine; ++i) {
      if (i == 8) view += ' ';
      if (i < line.size()) {
        const auto c = static_cast<unsigned char>(line[i]);
        view += kDigits[c >> 4];
        view += kDigits[c & 0xF];
        view += ' ';
      } else {
        view += "   ";
      }
    }
    view += " |";
    for (char c : line) view += c >= 0x20 && c < 0x7F ? c : '.';
    view += "|\r\n";
  }
  return view;
}

}  // namespace mgarc::window
