// An archive as mgarc reads it: the header, and every directory record with
// its exact 64-bit offset and its name as shown.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "mgarc/entry_names.h"
#include "platform/file_stream.h"

class NameCodec;

struct ArchiveEntry {
  int index = 0;       // counting from 1, as every output shows it
  std::string stored;  // the stored bytes before the first zero
  std::uint32_t size = 0;
  std::uint64_t offset = 0;            // 16 plus the sizes before it, never wrapped
  std::optional<std::string> decoded;  // UTF-8, '\' kept; empty when not code page 932
  std::string shown;                   // as every output shows it (ShownName)
  std::uint32_t held = 0;              // the bytes of its data that the file holds

  std::uint64_t end() const { return offset + size; }
};

struct ArchiveView {
  std::string path;  // as given
  std::array<unsigned char, 16> header{};
  std::string magic;
  std::uint16_t entryCount = 0;
  std::uint32_t directoryOffset = 0;
  std::uint64_t fileSize = 0;
  std::int64_t modified = 0;  // seconds since 1970
  FileIdentity identity;
  std::vector<ArchiveEntry> entries;
  std::unique_ptr<InputFile> file;  // open for reading the entries' data

  std::uint64_t directoryEnd() const {
    return std::uint64_t{directoryOffset} + std::uint64_t{16} * entryCount;
  }
  // Where the entries' data ends, never past the end of the file.
  std::uint64_t entryDataEnd() const {
    std::uint64_t end = entries.empty() ? 16 : entries.back().end();
    return end < fileSize ? end : fileSize;
  }
};

// Opens and checks the archive at path (as given on the command line): the
// magic, a whole header, a directory inside the file. On failure, reason says
// why, for the line "mgarc: ARCHIVE: reason".
bool LoadArchive(const std::string& path, ArchiveView& view, std::string& reason);
// The same, reporting a failure as "mgarc: ARCHIVE: reason": every command's opening.
bool OpenArchive(const std::string& path, ArchiveView& view);

// Why an entry whose data runs past the end of the archive is short, or ""
// when the archive holds all of it.
std::string CutShortProblem(const ArchiveEntry& entry);

// Why a read of the archive's data stopped short at position reached: the
// system's error after prefix, or, where there is none, the archive ending
// there: it was cut short after it was opened.
std::string ShortReadReason(const InputFile& file, const std::string& prefix,
                            std::uint64_t reached);

// Levels decoded by codec, which must outlive the result and serve one thread.
DecodeLevel DecodeWith(NameCodec& codec);
