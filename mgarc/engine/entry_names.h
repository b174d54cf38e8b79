// Entry names as mgarc shows and compares them.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/path_rules.h"

namespace mgarc::engine {

// The name a user sees: the decoded text with '/' between directories and
// control characters escaped; without a decoding, the stored bytes with each
// byte outside printable ASCII (and '\' itself) as \xHH.
std::string ShownName(std::string_view stored, std::optional<std::string_view> decoded);

// The character of UTF-8 text at i, as its code point (a value past Unicode
// for a byte that starts no valid sequence); i moves past it.
char32_t NextCharacter(std::string_view text, std::size_t& i);

// The stored name's levels, split at '\' and '/' that are not the second byte
// of a double-byte character; empty levels (doubled separators) are dropped.
std::vector<std::string> StoredLevels(std::string_view stored);

// True when the name leads out of the output directory, judged on its stored
// bytes and on each of its levels: a lead byte before '/' takes no '/' with it.
bool NameLeavesDirectory(const std::string& stored, const std::vector<std::string>& levels);
// True when Windows cannot hold the name as a file, judged the same two ways.
bool NameReservedOnWindows(const std::string& stored, const std::vector<std::string>& levels);

// The first count levels joined by '\', as they are.
std::string NameKey(const std::vector<std::string>& levels, std::size_t count);

// Decodes one stored level into UTF-8 (NameCodec::Decode); false when it is
// not code page 932 text.
using DecodeLevel = std::function<bool(std::string_view stored, std::string& utf8)>;

// UTF-8 text with every letter that has case in one case (UppercaseText, the
// host's Unicode mapping): two texts that fold alike differ only in case.
using FoldCase = std::function<std::string(std::string_view utf8)>;
// The stored bytes for UTF-8 text; false when code page 932 cannot hold it.
using EncodeName = std::function<bool(const std::string& utf8, std::string& stored)>;

// The path that extract writes a stored name to, as a key: on a host with
// these rules, two names with one key are one file. Each level is decoded
// (kept as stored where it does not decode), a "." level before the last is
// dropped, and where rules.foldCase the decoded text is folded (a level that
// does not decode has its ASCII letters folded, never a second byte of a
// pair). Levels are joined by '/', which no level holds.
std::string OutputPathKey(std::string_view stored, const PathRules& rules,
                          const DecodeLevel& decode, const FoldCase& fold);
// The keys of the directories that an output-path key lies in, outermost first.
std::vector<std::string> DirectoryKeys(const std::string& key);

// One output-path key for each of many entries, in one buffer and sorted
// once: entries with the same key are found without a set node per entry.
class PathKeys {
 public:
  // The next entry's key ("" for one that has none).
  void Add(std::string_view key);
  // After the last Add, before With.
  void Sort();

  std::string_view operator[](std::size_t entry) const;
  // The entries whose key is key, in the order they were added.
  std::vector<std::uint32_t> With(std::string_view key) const;

 private:
  std::string text_;
  std::vector<std::uint32_t> ends_;    // by entry: where its key ends in text_
  std::vector<std::uint32_t> sorted_;  // the entries by key, then in order
};

// Shell-style match of a whole name: '*' any run of characters, '?' one
// character ('/' included in both), "[...]" one of a set ("[!...]" or
// "[^...]" none of it, ranges "a-z"), both folded first: every letter that has
// case matches either case.
bool GlobMatches(std::string_view pattern, std::string_view name, const FoldCase& fold);
// The pattern that matches name alone: its '*', '?' and '[' made literal.
std::string LiteralPattern(std::string_view name);

// The directory that extract makes for an archive file of this name: the name
// without its last extension ("voice.dat" gives "voice"); the name with ".d"
// added when it has no extension or when what is left would be "", "." or
// "..", the working directory or its parent.
std::string DefaultDirectoryName(const std::string& fileName);

}  // namespace mgarc::engine
