// Entry names as mgarc shows and compares them.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "archive/path_rules.h"

// The name a user sees: the decoded text with '/' between directories and
// control characters escaped; without a decoding, the stored bytes with each
// byte outside printable ASCII (and '\' itself) as \xHH.
std::string ShownName(std::string_view stored, const std::optional<std::string>& decoded);

// The stored name's levels, split at '\' and '/' that are not the second byte
// of a double-byte character; empty levels (doubled separators) are dropped.
std::vector<std::string> StoredLevels(std::string_view stored);

// True when the name leads out of the output directory, judged on its stored
// bytes and on each of its levels: a lead byte before '/' takes no '/' with it.
bool NameLeavesDirectory(const std::string& stored, const std::vector<std::string>& levels);
// True when Windows cannot hold the name as a file, judged the same two ways.
bool NameReservedOnWindows(const std::string& stored, const std::vector<std::string>& levels);

// Levels joined by '\', with ASCII letters folded when the host's file system
// folds them (never a double-byte character's second byte): two names with
// one key are one file.
std::string NameKey(const std::vector<std::string>& levels, std::size_t count, bool foldCase);

// Decodes one stored level into UTF-8 (NameCodec::Decode); false when it is
// not code page 932 text.
using DecodeLevel = std::function<bool(std::string_view stored, std::string& utf8)>;

// The path that extract writes a stored name to, as a key: on a host with
// these rules, two names with one key are one file. Each level is decoded
// (kept as stored where it does not decode), a "." level before the last is
// dropped, and ASCII letters are folded where rules.foldCase (never a second
// byte of a stored pair). Levels are joined by '/', which no level holds.
std::string OutputPathKey(std::string_view stored, const PathRules& rules,
                          const DecodeLevel& decode);
// The keys of the directories that an output-path key lies in, outermost first.
std::vector<std::string> DirectoryKeys(const std::string& key);

// True when text equals other ignoring the case of ASCII letters.
bool EqualsIgnoringAsciiCase(std::string_view text, std::string_view other);

// Shell-style match of a whole name: '*' any run of characters, '?' one
// character ('/' included in both), "[...]" one of a set ("[!...]" or
// "[^...]" none of it, ranges "a-z"); ASCII letters match either case.
bool GlobMatches(std::string_view pattern, std::string_view name);

// The directory that extract makes for an archive file of this name: the name
// without its last extension ("voice.dat" gives "voice"); the name with ".d"
// added when it has no extension or when what is left would be "", "." or
// "..", the working directory or its parent.
std::string DefaultDirectoryName(const std::string& fileName);
