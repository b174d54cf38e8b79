// What create packs: every file's stored name, checked against the rules that
// make an archive extract to the same tree on every host, and the order.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "mgarc/engine/entry_names.h"
#include "mgarc/engine/observer.h"
#include "platform/file_stream.h"

namespace mgarc::engine {

struct PackedFile {
  NativePath path;       // where the bytes are read from
  std::string relative;  // UTF-8, '/' between directories: as list shows it
  std::string stored;    // code page 932, '\' between directories
  std::uint64_t size = 0;
};

// The host's converter: code page 932 for UTF-8 text and back, false when it
// has none; and its case folding, by which Windows takes two names for one.
struct NameConversion {
  EncodeName encode;
  DecodeLevel decode;
  FoldCase fold;
};

// Fills each file's stored name from its relative name; every file that
// breaks a rule gets one problem (the first it breaks).
std::vector<Problem> AssignStoredNames(std::vector<PackedFile>& files,
                                       const NameConversion& conversion);

// The names of an order file: UTF-8 lines as `list --names` prints them, '/'
// or '\' between directories, CR LF or LF, blank lines ignored. With
// separator '\0', names each end with a zero byte (`list --names -0`).
std::vector<std::string> ParseOrder(const std::string& text, char separator = '\n');

// Puts files in archive order: sorted by stored bytes, or the order's names
// first and the rest sorted after them (each of those named in unlisted).
// Problems: a listed name with no file, a name listed twice.
std::vector<Problem> ArrangeFiles(std::vector<PackedFile>& files,
                                  const std::vector<std::string>* order,
                                  std::vector<std::string>& unlisted);

// Limits of the container: a problem about archive when entries holding bytes
// of data in all cannot fit.
std::optional<Problem> CheckContainerLimits(const std::string& archive, std::size_t entries,
                                            std::uint64_t bytes);

}  // namespace mgarc::engine
