// Stored names are code page 932; the host's file names may be in another encoding.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Converts stored names into the host's encoding; one converter serves a run.
class StoredNameConverter {
 public:
  StoredNameConverter();
  ~StoredNameConverter();
  StoredNameConverter(const StoredNameConverter&) = delete;
  StoredNameConverter& operator=(const StoredNameConverter&) = delete;

  // Converts a stored name (code page 932, separators already the host's). A
  // name whose bytes do not decode is kept as stored. Returns false when the
  // result would not fit in size bytes with its terminator.
  bool ToHost(const char* stored, char* out, std::size_t size);

 private:
  void* converter_ = nullptr;  // the system's conversion state, where the host needs one
};

// True when text is ASCII, which code page 932 and UTF-8 both hold as
// itself: most names then need no converter.
inline bool IsAscii(std::string_view text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) >= 0x80) return false;
  }
  return true;
}

// Stored names to and from UTF-8 by the host's own converter (the one above),
// for showing names and for building archives. One codec serves one thread.
class NameCodec {
 public:
  NameCodec();
  ~NameCodec();
  NameCodec(const NameCodec&) = delete;
  NameCodec& operator=(const NameCodec&) = delete;

  // UTF-8 for the stored bytes; false when they are not code page 932.
  bool Decode(std::string_view stored, std::string& utf8);
  // Code page 932 for UTF-8 text; false when some character has no form.
  bool Encode(std::string_view utf8, std::string& stored);
  // The name that the host's file calls take for one stored level: UTF-8 on
  // Linux (the stored bytes when they do not decode), code page 932 on Windows.
  std::string FileName(std::string_view stored);

 private:
  void* decoder_ = nullptr;  // the system's conversion state, where the host needs one
  void* encoder_ = nullptr;
};
