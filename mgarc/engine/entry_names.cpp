// Entry names between code page 932 and the names shown and written:
// decoding and encoding each level, and the names shown to a user.
#include "mgarc/engine/entry_names.h"

#include <algorithm>

#include "archive/ascii_case.h"
#include "archive/path_rules.h"
#include "archive/stored_names.h"

namespace mgarc::engine {

namespace {

void AppendEscaped(std::string& out, unsigned char byte) {
  static const char kDigits[] = "0123456789ABCDEF";
  out += "\\x";
  out += kDigits[byte >> 4];
  out += kDigits[byte & 15];
}

// Matches one "[...]" at pattern[p] (just past '['); p moves past its ']'.
// Without a closing ']' the '[' is an ordinary character: nullopt.
std::optional<bool> MatchSet(std::string_view pattern, std::size_t& p, char32_t c) {
  std::size_t i = p;
  bool negate = i < pattern.size() && (pattern[i] == '!' || pattern[i] == '^');
  if (negate) ++i;
  bool found = false;
  bool first = true;
  while (i < pattern.size() && (pattern[i] != ']' || first)) {
    first = false;
    char32_t low = NextCharacter(pattern, i);
    char32_t high = low;
    if (i + 1 < pattern.size() && pattern[i] == '-' && pattern[i + 1] != ']') {
      ++i;
      high = NextCharacter(pattern, i);
    }
    if (c >= low && c <= high) found = true;
  }
  if (i >= pattern.size()) return std::nullopt;
  p = i + 1;
  return found != negate;
}

// True when a double-byte character starts at text[i]: a lead byte followed
// by a byte that can be its second.
bool PairAt(std::string_view text, std::size_t i) {
  return i + 1 < text.size() && IsLeadByte(CodePage::kCp932, static_cast<unsigned char>(text[i])) &&
         IsTrailByte(static_cast<unsigned char>(text[i + 1]));
}

// Appends a stored level that is no text, its ASCII letters folded when asked;
// a double-byte character's second byte is never folded.
void AppendStoredLevel(std::string& key, std::string_view level, bool foldCase) {
  for (std::size_t i = 0; i < level.size(); ++i) {
    if (PairAt(level, i)) {
      key.append(level.substr(i, 2));
      ++i;
    } else {
      key += foldCase ? FoldAscii(level[i]) : level[i];
    }
  }
}

}  // namespace

char32_t NextCharacter(std::string_view text, std::size_t& i) {
  auto byte = static_cast<unsigned char>(text[i]);
  int more = byte < 0x80                   ? 0
             : byte >= 0xC2 && byte < 0xE0 ? 1
             : byte >= 0xE0 && byte < 0xF0 ? 2
             : byte >= 0xF0 && byte < 0xF5 ? 3
                                           : -1;
  bool valid = more >= 0 && i + static_cast<std::size_t>(more) < text.size();
  char32_t value = more <= 0 ? byte : byte & (0x3Fu >> more);
  for (int k = 1; valid && k <= more; ++k) {
    auto next = static_cast<unsigned char>(text[i + static_cast<std::size_t>(k)]);
    valid = (next & 0xC0) == 0x80;
    value = (value << 6) | (next & 0x3Fu);
  }
  if (!valid) {
    ++i;
    return 0x110000 + byte;
  }
  i += static_cast<std::size_t>(more) + 1;
  return value;
}

std::string ShownName(std::string_view stored, std::optional<std::string_view> decoded) {
  std::string out;
  if (decoded) {
    for (char c : *decoded) {
      auto byte = static_cast<unsigned char>(c);
      if (c == '\\') {
        out += '/';
      } else if (byte < 0x20 || byte == 0x7F) {
        AppendEscaped(out, byte);
      } else {
        out += c;
      }
    }
    return out;
  }
  auto keep = [&out](unsigned char byte) {
    if (byte >= 0x20 && byte < 0x7F && byte != '\\') {
      out += static_cast<char>(byte);
    } else {
      AppendEscaped(out, byte);
    }
  };
  for (std::size_t i = 0; i < stored.size();) {
    auto byte = static_cast<unsigned char>(stored[i]);
    if (PairAt(stored, i)) {
      // A double-byte character's second byte is never a separator.
      keep(byte);
      keep(static_cast<unsigned char>(stored[i + 1]));
      i += 2;
    } else {
      if (byte == '\\' || byte == '/') {
        out += '/';
      } else {
        keep(byte);
      }
      ++i;
    }
  }
  return out;
}

std::vector<std::string> StoredLevels(std::string_view stored) {
  std::vector<std::string> levels;
  std::string level;
  for (std::size_t i = 0; i < stored.size();) {
    auto byte = static_cast<unsigned char>(stored[i]);
    if (PairAt(stored, i)) {
      level.append(stored.substr(i, 2));
      i += 2;
      continue;
    }
    if (byte == '\\' || byte == '/') {
      if (!level.empty()) levels.push_back(std::move(level));
      level.clear();
    } else {
      level += static_cast<char>(byte);
    }
    ++i;
  }
  if (!level.empty()) levels.push_back(std::move(level));
  return levels;
}

bool NameLeavesDirectory(const std::string& stored, const std::vector<std::string>& levels) {
  if (StoredNameLeavesDirectory(stored.c_str())) return true;
  for (const std::string& level : levels) {
    if (LevelNamesParent(level.c_str(), level.size())) return true;
  }
  return false;
}

bool NameReservedOnWindows(const std::string& stored, const std::vector<std::string>& levels) {
  if (StoredNameReservedOnWindows(stored.c_str())) return true;
  for (const std::string& level : levels) {
    if (StoredNameReservedOnWindows(level.c_str())) return true;
  }
  return false;
}

std::string NameKey(const std::vector<std::string>& levels, std::size_t count) {
  std::string key;
  for (std::size_t k = 0; k < count && k < levels.size(); ++k) {
    if (k > 0) key += '\\';
    key += levels[k];
  }
  return key;
}

std::string OutputPathKey(std::string_view stored, const PathRules& rules,
                          const DecodeLevel& decode, const FoldCase& fold) {
  std::vector<std::string> levels = StoredLevels(stored);
  std::string key;
  std::string decoded;
  for (std::size_t k = 0; k < levels.size(); ++k) {
    // Extraction opens a "." level as the directory it is in.
    if (levels[k] == "." && k + 1 < levels.size()) continue;
    if (!key.empty()) key += '/';
    if (decode(levels[k], decoded)) {
      key += rules.foldCase ? fold(decoded) : decoded;
    } else {
      AppendStoredLevel(key, levels[k], rules.foldCase);
    }
  }
  return key;
}

std::vector<std::string> DirectoryKeys(const std::string& key) {
  std::vector<std::string> directories;
  for (std::size_t slash = key.find('/'); slash != std::string::npos;
       slash = key.find('/', slash + 1)) {
    directories.push_back(key.substr(0, slash));
  }
  return directories;
}

std::string LiteralPattern(std::string_view name) {
  std::string pattern;
  for (char c : name) {
    if (c == '*' || c == '?' || c == '[') {
      pattern += '[';
      pattern += c;
      pattern += ']';
    } else {
      pattern += c;
    }
  }
  return pattern;
}

bool GlobMatches(std::string_view patternText, std::string_view nameText, const FoldCase& fold) {
  // Both in one case: the sets and ranges of the pattern too.
  const std::string foldedPattern = fold(patternText);
  const std::string foldedName = fold(nameText);
  std::string_view pattern = foldedPattern;
  std::string_view name = foldedName;
  // Iterative matching with one point to return to: the last '*' seen.
  std::size_t p = 0;
  std::size_t n = 0;
  std::size_t starP = std::string_view::npos;
  std::size_t starN = 0;
  while (n < name.size()) {
    std::size_t nextN = n;
    char32_t c = NextCharacter(name, nextN);
    if (p < pattern.size() && pattern[p] == '*') {
      starP = ++p;
      starN = n;
      continue;
    }
    bool matched = false;
    std::size_t nextP = p;
    if (p < pattern.size() && pattern[p] == '?') {
      matched = true;
      nextP = p + 1;
    } else if (p < pattern.size() && pattern[p] == '[') {
      nextP = p + 1;
      std::optional<bool> set = MatchSet(pattern, nextP, c);
      if (set) {
        matched = *set;
      } else {
        nextP = p + 1;
        matched = c == '[';
      }
    } else if (p < pattern.size()) {
      matched = NextCharacter(pattern, nextP) == c;
    }
    if (matched) {
      p = nextP;
      n = nextN;
    } else if (starP != std::string_view::npos) {
      p = starP;
      NextCharacter(name, starN);
      n = starN;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string DefaultDirectoryName(const std::string& fileName) {
  std::size_t dot = fileName.rfind('.');
  std::string stem = dot == std::string::npos ? fileName : fileName.substr(0, dot);
  bool usable = dot != std::string::npos && stem != "" && stem != "." && stem != "..";
  return usable ? stem : fileName + ".d";
}

void PathKeys::Add(std::string_view key) {
  text_.append(key);
  ends_.push_back(static_cast<std::uint32_t>(text_.size()));
}

void PathKeys::Sort() {
  sorted_.resize(ends_.size());
  for (std::uint32_t i = 0; i < sorted_.size(); ++i) sorted_[i] = i;
  std::stable_sort(sorted_.begin(), sorted_.end(),
                   [this](std::uint32_t a, std::uint32_t b) { return (*this)[a] < (*this)[b]; });
}

std::string_view PathKeys::operator[](std::size_t entry) const {
  const std::uint32_t begin = entry == 0 ? 0 : ends_[entry - 1];
  return std::string_view(text_).substr(begin, ends_[entry] - begin);
}

std::vector<std::uint32_t> PathKeys::With(std::string_view key) const {
  struct ByKey {
    const PathKeys& keys;
    bool operator()(std::uint32_t a, std::string_view b) const { return keys[a] < b; }
    bool operator()(std::string_view a, std::uint32_t b) const { return a < keys[b]; }
  };
  auto [first, last] = std::equal_range(sorted_.begin(), sorted_.end(), key, ByKey{*this});
  return {first, last};
}

}  // namespace mgarc::engine
