// How the window previews an entry, chosen from its name and first bytes:
// text, an image the system decodes, a sound, or the bytes in hex; and for
// text, which encoding it is in.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace mgarc::window {

enum class PreviewKind { kText, kImage, kSound, kHex };

// The first bytes read for the choice, and at most what the hex view shows.
inline constexpr std::size_t kPreviewHead = 4096;
inline constexpr std::size_t kHexPreviewBytes = 64 * 1024;

// head: the entry's first bytes (up to kPreviewHead; fewer when it is shorter).
PreviewKind ChoosePreview(std::string_view name, std::string_view head);

enum class TextEncoding { kCodePage932, kUtf8, kUtf16LittleEndian, kUtf16BigEndian };

struct TextChoice {
  TextEncoding encoding = TextEncoding::kCodePage932;
  std::size_t markSize = 0;  // the byte order mark's bytes, not shown
};

// A byte order mark says UTF-8 or UTF-16; text without one is UTF-8 when all
// of it is (and not all ASCII), else code page 932, as these games wrote it.
TextChoice ChooseTextEncoding(std::string_view head);

// The hex view of bytes: a line of 16 for each, "00000010  41 42 ...  |AB..|",
// its offset, the bytes in hex (a gap after the eighth) and those that are
// printable ASCII as themselves, the others as '.'. Lines end with "\r\n",
// as the system's text boxes take them.
std::string HexView(std::string_view bytes);

}  // namespace mgarc::window
