// The rules a file's name must meet to be packed, and the order of packing.
#include "mgarc/engine/packing_list.h"

#include <algorithm>
#include <cstdio>
#include <map>
#include <optional>
#include <set>
#include <unordered_map>

#include "archive/archive_format.h"
#include "archive/path_rules.h"
#include "archive/stored_names.h"
#include "mgarc/engine/entry_names.h"

namespace mgarc::engine {

namespace {

constexpr std::uint64_t kOffsetLimit = std::uint64_t{1} << 32;

// Characters that JIS-based converters write in the bytes that code page 932
// gives to another character, and the one code page 932 has for it.
struct Alternative {
  char32_t from;
  char32_t to;
  const char* toText;
};
constexpr Alternative kCp932Alternatives[] = {
    {0x301C, 0xFF5E, "～"},  // wave dash: fullwidth tilde
    {0x2016, 0x2225, "∥"},   // double vertical line: parallel to
    {0x2212, 0xFF0D, "－"},  // minus sign: fullwidth hyphen-minus
    {0x00A2, 0xFFE0, "￠"},  // cent sign
    {0x00A3, 0xFFE1, "￡"},  // pound sign
    {0x00AC, 0xFFE2, "￢"},  // not sign
    {0x2014, 0x2015, "―"},   // em dash: horizontal bar
};

// "'〜' (U+301C)": text is the character c.
std::string Named(const std::string& text, char32_t c) {
  char number[16];
  std::snprintf(number, sizeof number, "U+%04X", static_cast<unsigned>(c));
  return "'" + text + "' (" + number + ")";
}

// The first character of name that code page 932 cannot store as itself, in
// words a person can act on: the character, its code point and, where there
// is one, the character to use instead.
std::string UnstorableCharacter(const std::string& name, const NameConversion& conversion) {
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t start = i;
    const char32_t c = NextCharacter(name, i);
    const std::string one = name.substr(start, i - start);
    std::string stored;
    std::string back;
    const bool encoded = conversion.encode(one, stored);
    if (encoded && conversion.decode(stored, back) && back == one) continue;
    std::string insteadText;
    char32_t instead = 0;
    if (encoded && !back.empty()) {
      std::size_t at = 0;
      instead = NextCharacter(back, at);
      insteadText = back.substr(0, at);
    }
    for (const Alternative& alternative : kCp932Alternatives) {
      if (alternative.from == c) {
        instead = alternative.to;
        insteadText = alternative.toText;
      }
    }
    if (instead == 0) return Named(one, c) + " cannot be stored in code page 932";
    return Named(one, c) + " cannot be stored; code page 932 has " + Named(insteadText, instead);
  }
  return "code page 932 cannot hold a character of the name";
}

// The first rule the name breaks; none when it can be packed.
std::optional<std::string> StoredNameProblem(PackedFile& file, const NameConversion& conversion) {
  if (file.relative.find('\\') != std::string::npos) {
    return "the name holds '\\', which an archive takes for a directory separator";
  }
  std::string wanted = file.relative;
  std::replace(wanted.begin(), wanted.end(), '/', '\\');
  std::string back;
  if (!conversion.encode(wanted, file.stored) || !conversion.decode(file.stored, back) ||
      back != wanted) {
    return UnstorableCharacter(wanted, conversion);
  }
  if (file.stored.size() > kNameFieldSize) {
    return "the stored name takes " + std::to_string(file.stored.size()) +
           " bytes, an archive holds at most 12";
  }
  if (StoredNameLeavesDirectory(file.stored.c_str())) {
    return "the name would lead out of the directory it is extracted into";
  }
  if (StoredNameReservedOnWindows(file.stored.c_str())) {
    return "Windows cannot hold the name as a file (a device name, ':', a character it "
           "forbids, a control character, or a name ending in a dot or a blank)";
  }
  // Windows allows DEL, but `list` shows it escaped: an order file made by
  // `list --names` could not name the file again.
  if (wanted.find('\x7F') != std::string::npos) {
    return "the name holds a control character (DEL), which list shows only escaped";
  }
  return std::nullopt;
}

}  // namespace

std::vector<Problem> AssignStoredNames(std::vector<PackedFile>& files,
                                       const NameConversion& conversion) {
  std::vector<std::optional<std::string>> problemOf(files.size());
  std::vector<std::string> keyOf(files.size());
  // Windows' output path -> the first file of it; a directory's path there -> a file below it.
  std::unordered_map<std::string, std::size_t> byKey(files.size());
  std::unordered_map<std::string, std::size_t> directories;
  for (std::size_t i = 0; i < files.size(); ++i) {
    problemOf[i] = StoredNameProblem(files[i], conversion);
    if (problemOf[i]) continue;
    // A file's name decodes back to itself: only case can give two files one path.
    keyOf[i] = OutputPathKey(files[i].stored, kWindowsRules, conversion.decode, conversion.fold);
    auto [first, added] = byKey.try_emplace(keyOf[i], i);
    if (!added) {
      problemOf[i] =
          "differs from " + files[first->second].relative + " only in case: one file on Windows";
    }
    for (std::string& directory : DirectoryKeys(keyOf[i])) {
      directories.try_emplace(std::move(directory), i);
    }
  }
  // Linux holds a file "A" beside a directory "a"; on Windows they are one name.
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (problemOf[i]) continue;
    auto directory = directories.find(keyOf[i]);
    if (directory != directories.end()) {
      problemOf[i] = "differs only in case from a directory that " +
                     files[directory->second].relative + " is in: one name on Windows";
    }
  }
  std::vector<Problem> problems;
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (problemOf[i]) problems.push_back({files[i].relative, std::move(*problemOf[i])});
  }
  return problems;
}

std::vector<std::string> ParseOrder(const std::string& text, char separator) {
  std::vector<std::string> names;
  // A byte order mark, as some Windows editors write one.
  std::size_t start = text.rfind("\xEF\xBB\xBF", 0) == 0 ? 3 : 0;
  while (start < text.size()) {
    std::size_t end = text.find(separator, start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (separator == '\n' && !line.empty() && line.back() == '\r') line.pop_back();
    std::replace(line.begin(), line.end(), '\\', '/');
    if (!line.empty()) names.push_back(line);
    start = end + 1;
  }
  return names;
}

std::vector<Problem> ArrangeFiles(std::vector<PackedFile>& files,
                                  const std::vector<std::string>* order,
                                  std::vector<std::string>& unlisted) {
  auto byStored = [](const PackedFile& a, const PackedFile& b) { return a.stored < b.stored; };
  // Names sorted by their UTF-8 are often sorted by their stored bytes too.
  if (!std::is_sorted(files.begin(), files.end(), byStored)) {
    std::sort(files.begin(), files.end(), byStored);
  }
  std::vector<Problem> problems;
  if (order == nullptr) return problems;
  std::map<std::string, std::size_t> byName;
  for (std::size_t i = 0; i < files.size(); ++i) byName.emplace(files[i].relative, i);
  std::vector<PackedFile> arranged;
  std::vector<bool> placed(files.size(), false);
  std::set<std::string> listed;
  for (const std::string& name : *order) {
    if (!listed.insert(name).second) {
      problems.push_back({name, "listed twice in the order file"});
      continue;
    }
    auto found = byName.find(name);
    if (found == byName.end()) {
      problems.push_back({name, "listed in the order file, but there is no such file"});
      continue;
    }
    placed[found->second] = true;
    arranged.push_back(files[found->second]);
  }
  for (std::size_t i = 0; i < files.size(); ++i) {
    if (placed[i]) continue;
    unlisted.push_back(files[i].relative);
    arranged.push_back(files[i]);
  }
  files = std::move(arranged);
  return problems;
}

std::optional<Problem> CheckContainerLimits(const std::string& archive, std::size_t entries,
                                            std::uint64_t bytes) {
  if (entries > kFormatEntryLimit) {
    return Problem{archive, std::to_string(entries) + " files: an archive holds at most " +
                                std::to_string(kFormatEntryLimit)};
  }
  std::uint64_t end = kFirstEntryOffset + std::uint64_t{kRecordSize} * entries + bytes;
  if (end >= kOffsetLimit) {
    return Problem{archive, "the archive would take " + std::to_string(end) +
                                " bytes: its offsets reach no further than 4294967295"};
  }
  return std::nullopt;
}

}  // namespace mgarc::engine
