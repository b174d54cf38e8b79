// An archive as mgarc reads it: the header checked, and the directory read
// into small entries with their exact offsets and their decoded names. This
// is list's operation: the loaded view is the listing.
#include "mgarc/engine/archive_view.h"

#include <algorithm>
#include <cstring>

#include "archive/archive_format.h"
#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/patch_format.h"
#include "platform/arguments.h"
#include "platform/file_stream.h"
#include "platform/text_conversion.h"

namespace mgarc::engine {

std::optional<Problem> LoadArchive(const std::string& path, ArchiveView& view) {
  auto refused = [&path](std::string reason) { return Problem{path, std::move(reason)}; };
  view = ArchiveView{};
  view.path = path;
  view.file = std::make_unique<InputFile>();
  InputFile& file = *view.file;
  if (!file.Open(PathFromUtf8(path))) {
    return refused(SystemErrorUtf8(file.error()));
  }
  if (!file.Describe(&view.fileSize, &view.identity, &view.modified)) {
    return refused(SystemErrorUtf8(file.error()));
  }
  std::size_t got = file.ReadAt(0, view.header.data(), view.header.size());
  if (got < view.header.size() && file.error() != 0) {
    return refused(SystemErrorUtf8(file.error()));
  }
  view.magic.assign(reinterpret_cast<const char*>(view.header.data()),
                    std::min<std::size_t>(got, kMagicSize));
  if (!IsArchiveMagic(view.magic)) {
    if (got >= sizeof kPatchMagic &&
        std::memcmp(view.header.data(), kPatchMagic, sizeof kPatchMagic) == 0) {
      return refused("a patch, not an archive: 'mgarc apply PATCH ARCHIVE' applies it");
    }
    return refused("not a VIZ00 or ZEL00 archive");
  }
  if (got < view.header.size()) {
    return refused("header cut short: the file has " + std::to_string(got) + " bytes, a header 16");
  }
  ArchiveHeader header = DecodeArchiveHeader(view.header.data());
  view.entryCount = header.entryCount;
  view.directoryOffset = header.directoryOffset;
  if (view.directoryOffset < kFirstEntryOffset) {
    return refused("directory offset " + std::to_string(view.directoryOffset) +
                   " lies inside the 16-byte header");
  }
  if (view.directoryEnd() > view.fileSize) {
    return refused("the directory (" + std::to_string(view.entryCount) + " records at offset " +
                   std::to_string(view.directoryOffset) + ") runs past the end of the file (" +
                   std::to_string(view.fileSize) + " bytes)");
  }

  std::vector<unsigned char> records(std::size_t{kRecordSize} * view.entryCount);
  if (file.ReadAt(view.directoryOffset, records.data(), records.size()) < records.size()) {
    return refused(file.error() != 0 ? SystemErrorUtf8(file.error())
                                     : "the directory could not be read");
  }
  NameCodec codec;
  view.entries.resize(view.entryCount);
  std::uint64_t offset = kFirstEntryOffset;
  for (int i = 0; i < view.entryCount; ++i) {
    DirectoryRecord record = DecodeDirectoryRecord(&records[std::size_t{kRecordSize} * i], 0);
    ArchiveEntry& entry = view.entries[i];
    entry.index = i + 1;
    entry.size = record.entry.size;
    entry.offset = offset;
    // Data past the end of the archive: the bytes that exist are used.
    entry.present = entry.offset >= view.fileSize
                        ? 0
                        : static_cast<std::uint32_t>(
                              std::min<std::uint64_t>(entry.size, view.fileSize - entry.offset));
    offset += entry.size;
    std::string_view stored = record.entry.name;
    std::string decoded;
    if (!codec.Decode(stored, decoded)) {
      entry.SetNames(stored, std::nullopt);
    } else if (decoded == stored) {
      entry.SetNames(stored, stored);
    } else {
      entry.SetNames(stored, view.decodedNames.Add(decoded));
    }
  }
  return std::nullopt;
}

std::optional<std::string_view> ArchiveEntry::decoded() const {
  switch (decoding_) {
    case Decoding::kAsStored:
      return stored();
    case Decoding::kText:
      return std::string_view(decodedText_, decodedLength_);
    case Decoding::kNone:
      break;
  }
  return std::nullopt;
}

std::string ArchiveEntry::shown() const {
  return ShownName(stored(), decoded());
}

void ArchiveEntry::SetNames(std::string_view stored, std::optional<std::string_view> decoded) {
  storedLength_ = static_cast<std::uint8_t>(std::min(stored.size(), sizeof stored_));
  std::memcpy(stored_, stored.data(), storedLength_);
  decodedText_ = nullptr;
  decodedLength_ = 0;
  if (!decoded) {
    decoding_ = Decoding::kNone;
  } else if (*decoded == this->stored()) {
    decoding_ = Decoding::kAsStored;
  } else {
    decoding_ = Decoding::kText;
    decodedText_ = decoded->data();
    decodedLength_ = static_cast<std::uint8_t>(std::min<std::size_t>(decoded->size(), 255));
  }
}

std::string_view EntryText::Add(std::string_view text) {
  constexpr std::size_t kBlockSize = 16 * 1024;
  if (room_ - used_ < text.size()) {
    room_ = std::max(kBlockSize, text.size());
    blocks_.push_back(std::make_unique_for_overwrite<char[]>(room_));
    used_ = 0;
  }
  char* place = blocks_.back().get() + used_;
  std::memcpy(place, text.data(), text.size());
  used_ += text.size();
  return {place, text.size()};
}

std::string ShortReadReason(const InputFile& file, const std::string& prefix,
                            std::uint64_t reached) {
  if (file.error() != 0) return prefix + SystemErrorUtf8(file.error());
  return "cut short: the archive ended at byte " + std::to_string(reached);
}

std::optional<std::string> ReopenArchive(const ArchiveView& archive, InputFile& file) {
  if (!file.Open(PathFromUtf8(archive.path))) {
    return "cannot open the archive: " + SystemErrorUtf8(file.error());
  }
  std::uint64_t size = 0;
  FileIdentity identity;
  std::int64_t modified = 0;
  if (!file.Describe(&size, &identity, &modified) || !(identity == archive.identity)) {
    return "the archive was replaced while it was read";
  }
  return std::nullopt;
}

std::optional<Problem> CutShortProblem(const ArchiveEntry& entry) {
  if (entry.present == entry.size) return std::nullopt;
  return Problem{entry.shown(), "cut short: the archive holds " + std::to_string(entry.present) +
                                    " of the entry's " + std::to_string(entry.size) + " bytes"};
}

DecodeLevel DecodeWith(NameCodec& codec) {
  return [&codec](std::string_view level, std::string& text) { return codec.Decode(level, text); };
}

EncodeName EncodeWith(NameCodec& codec) {
  return
      [&codec](const std::string& text, std::string& stored) { return codec.Encode(text, stored); };
}

}  // namespace mgarc::engine
