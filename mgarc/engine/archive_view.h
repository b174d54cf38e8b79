// An archive as mgarc reads it: the header, and every directory record with
// its exact 64-bit offset and its name as shown.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/archive_format.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/observer.h"
#include "platform/file_stream.h"

class NameCodec;

namespace mgarc::engine {

// Kept small, as an archive may hold 65535 of them: the stored name lies in
// the entry itself (a name field holds 12 bytes), and its decoded text, where
// it differs from the stored bytes, in text that the archive's view holds.
class ArchiveEntry {
 public:
  int index = 0;  // counting from 1, as every output shows it
  std::uint32_t size = 0;
  std::uint32_t present = 0;  // the bytes of its data that the file has (fewer when cut short)
  std::uint64_t offset = 0;   // 16 plus the sizes before it, never wrapped

  std::uint64_t end() const { return offset + size; }

  // The stored bytes before the first zero.
  std::string_view stored() const { return {stored_, storedLength_}; }
  // UTF-8, '\' kept; none when not code page 932.
  std::optional<std::string_view> decoded() const;
  // As every output shows it (ShownName).
  std::string shown() const;

  // stored: at most 12 bytes. decoded, where it differs from stored, must
  // stay where it is for as long as the entry does (EntryText).
  void SetNames(std::string_view stored, std::optional<std::string_view> decoded);

 private:
  enum class Decoding : std::uint8_t { kNone, kAsStored, kText };

  char stored_[kNameFieldSize] = {};
  std::uint8_t storedLength_ = 0;
  Decoding decoding_ = Decoding::kNone;
  std::uint8_t decodedLength_ = 0;
  const char* decodedText_ = nullptr;
};

// Text that never moves once added, in blocks: entries point into it.
class EntryText {
 public:
  std::string_view Add(std::string_view text);

 private:
  std::vector<std::unique_ptr<char[]>> blocks_;
  std::size_t used_ = 0;  // of the last block
  std::size_t room_ = 0;  // the last block's size
};

struct ArchiveView {
  std::string path;                                       // as given
  std::array<unsigned char, kFirstEntryOffset> header{};  // the two bytes after it too
  std::string magic;
  std::uint16_t entryCount = 0;
  std::uint32_t directoryOffset = 0;
  std::uint64_t fileSize = 0;
  std::int64_t modified = 0;  // seconds since 1970
  FileIdentity identity;
  std::vector<ArchiveEntry> entries;
  EntryText decodedNames;           // the entries' decoded names that differ from the stored ones
  std::unique_ptr<InputFile> file;  // open for reading the entries' data

  std::uint64_t directoryEnd() const {
    return std::uint64_t{directoryOffset} + std::uint64_t{kRecordSize} * entryCount;
  }
  // Where the entries' data ends, as the directory gives it.
  std::uint64_t entriesEnd() const {
    return entries.empty() ? kFirstEntryOffset : entries.back().end();
  }
  // The same, never past the end of the file.
  std::uint64_t entryDataEnd() const {
    std::uint64_t end = entriesEnd();
    return end < fileSize ? end : fileSize;
  }
};

// Opens and checks the archive at path (as given on the command line): the
// magic, a whole header, a directory inside the file. A problem about the
// archive when it cannot be used.
std::optional<Problem> LoadArchive(const std::string& path, ArchiveView& view);

// Opens the loaded archive again, for a worker that reads through a handle
// of its own: the very file whose directory was read, or the reason not.
std::optional<std::string> ReopenArchive(const ArchiveView& archive, InputFile& file);

// Why an entry whose data runs past the end of the archive is short; none
// when the archive holds all of it.
std::optional<Problem> CutShortProblem(const ArchiveEntry& entry);

// Why a read of the archive's data stopped short at position reached: the
// system's error after prefix, or, where there is none, the archive ending
// there: it was cut short after it was opened.
std::string ShortReadReason(const InputFile& file, const std::string& prefix,
                            std::uint64_t reached);

// Levels decoded by codec, which must outlive the result and serve one thread.
DecodeLevel DecodeWith(NameCodec& codec);
// Names encoded by codec, on the same terms.
EncodeName EncodeWith(NameCodec& codec);

}  // namespace mgarc::engine
