#include "marrowgilder/engine/output_paths.h"

#include <gtest/gtest.h>

#include <string>

using marrowgilder::engine::BuildOutputPrefix;
using marrowgilder::engine::DirectoryPartOf;
using marrowgilder::engine::JoinPath;
using marrowgilder::engine::SameDirectoryPart;
using marrowgilder::engine::ShownPath;

namespace {

// Code page 932 bytes of characters whose second byte is 0x5C ('\').
const std::string kHyo = "\x95\x5C";   // 表
const std::string kSo = "\x83\x5C";    // ソ
const std::string kDash = "\x81\x5C";  // ―

std::string Prefix(const std::string& directory, const PathRules& rules, std::size_t size = 127) {
  char prefix[200] = {};
  if (!BuildOutputPrefix(directory.c_str(), rules, prefix, size)) return "<too long>";
  return prefix;
}

std::string DirectoryPart(const std::string& path, const PathRules& rules) {
  std::size_t offset = 0;
  std::size_t length = DirectoryPartOf(path.c_str(), rules, &offset);
  return path.substr(offset, length);
}

TEST(OutputPrefix, OneSeparatorOnWindows) {
  EXPECT_EQ(Prefix("D:\\Test", kWindowsRules), "D:\\Test\\");
  EXPECT_EQ(Prefix("D:\\Test\\", kWindowsRules), "D:\\Test\\");
  EXPECT_EQ(Prefix("", kWindowsRules), "\\");
  EXPECT_EQ(Prefix("D:\\Test/", kWindowsRules), "D:\\Test/\\");
}

TEST(OutputPrefix, ADoubleByteCharactersSecondByteIsNoSeparator) {
  EXPECT_EQ(Prefix("D:\\" + kHyo, kWindowsRules), "D:\\" + kHyo + "\\");
  EXPECT_EQ(Prefix("D:\\" + kSo, kWindowsRules), "D:\\" + kSo + "\\");
  EXPECT_EQ(Prefix("D:\\" + kHyo + "\\", kWindowsRules), "D:\\" + kHyo + "\\");
}

TEST(OutputPrefix, OneSeparatorOnLinux) {
  EXPECT_EQ(Prefix("/tmp/out", kLinuxRules), "/tmp/out/");
  EXPECT_EQ(Prefix("/tmp/out/", kLinuxRules), "/tmp/out/");
  EXPECT_EQ(Prefix("out", kLinuxRules), "out/");
  // On Linux '\' is an ordinary character of a name.
  EXPECT_EQ(Prefix("/tmp/a\\", kLinuxRules), "/tmp/a\\/");
  // UTF-8 表 (E8 A1 A8) ends in no separator.
  EXPECT_EQ(Prefix("/tmp/\xE8\xA1\xA8", kLinuxRules), "/tmp/\xE8\xA1\xA8/");
}

TEST(OutputPrefix, MustFitItsStorage) {
  EXPECT_EQ(Prefix(std::string(125, 'a'), kLinuxRules), std::string(125, 'a') + "/");
  EXPECT_EQ(Prefix(std::string(126, 'a'), kLinuxRules), "<too long>");
  EXPECT_EQ(Prefix(std::string(125, 'a') + "/", kLinuxRules, 127), std::string(125, 'a') + "/");
}

TEST(JoinPath, FitsOrRefuses) {
  char out[10];
  EXPECT_TRUE(JoinPath("/o/", "A.TXT", out, sizeof out));
  EXPECT_STREQ(out, "/o/A.TXT");
  EXPECT_TRUE(JoinPath("/o/", "ABCDEF", out, sizeof out));
  EXPECT_FALSE(JoinPath("/o/", "ABCDEFG", out, sizeof out));
}

TEST(DirectoryPart, WindowsDropsTheDriveAndTakesBothSlashes) {
  EXPECT_EQ(DirectoryPart("D:\\Test\\SE\\A.WAV", kWindowsRules), "\\Test\\SE\\");
  EXPECT_EQ(DirectoryPart("D:\\A.BIN", kWindowsRules), "\\");
  EXPECT_EQ(DirectoryPart("D:\\a/b.txt", kWindowsRules), "\\a/");
  EXPECT_EQ(DirectoryPart("A.BIN", kWindowsRules), "");
  EXPECT_EQ(DirectoryPart("D:\\" + kHyo, kWindowsRules), "\\");
  EXPECT_EQ(DirectoryPart("D:\\" + kHyo + "\\X", kWindowsRules), "\\" + kHyo + "\\");
}

TEST(DirectoryPart, LinuxHasNoDrivesAndOnlySlashes) {
  EXPECT_EQ(DirectoryPart("/tmp/out/SE/A.WAV", kLinuxRules), "/tmp/out/SE/");
  EXPECT_EQ(DirectoryPart("C:/x", kLinuxRules), "C:/");
  EXPECT_EQ(DirectoryPart("/tmp/a\\b", kLinuxRules), "/tmp/");
}

TEST(DirectoryPart, CaseCountsOnlyWhereTheFileSystemFoldsIt) {
  std::string a = "\\Test\\SE\\";
  std::string b = "\\TEST\\se\\";
  EXPECT_TRUE(SameDirectoryPart(a.c_str(), a.size(), b.c_str(), b.size(), kWindowsRules));
  EXPECT_FALSE(SameDirectoryPart(a.c_str(), a.size(), b.c_str(), b.size(), kLinuxRules));
  // ア (83 41) and ャ (83 61) differ only in a second byte that looks like 'A'/'a'.
  std::string ka = "\\\x83\x41\\";
  std::string ya = "\\\x83\x61\\";
  EXPECT_FALSE(SameDirectoryPart(ka.c_str(), ka.size(), ya.c_str(), ya.size(), kWindowsRules));
}

TEST(ShownPath, ControlCharactersAreMaskedWhereTheConsoleWouldObeyThem) {
  const std::string path = "o/\x1B[2J\x07\x01\x1F\x7F" + kHyo + " ~";
  char shown[64];
  ShownPath(path.c_str(), kLinuxRules, shown);
  EXPECT_EQ(std::string(shown), "o/?[2J????" + kHyo + " ~");
  ShownPath(path.c_str(), kWindowsRules, shown);
  EXPECT_EQ(std::string(shown), path);
}

}  // namespace
