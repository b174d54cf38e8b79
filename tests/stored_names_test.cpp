#include "archive/stored_names.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Code page 932 bytes of characters whose second byte is 0x5C ('\') or 0x7C ('|').
const std::string kHyo = "\x95\x5C";   // 表
const std::string kSo = "\x83\x5C";    // ソ
const std::string kDash = "\x81\x5C";  // ―
const std::string kPo = "\x83\x7C";    // ポ

std::string Mapped(const std::string& stored, char separator) {
  char out[64] = {};
  MapStoredSeparators(stored.c_str(), separator, out);
  return out;
}

TEST(StoredSeparators, BecomeTheHostsAndSpareDoubleByteCharacters) {
  EXPECT_EQ(Mapped("SE\\A.WAV", '/'), "SE/A.WAV");
  EXPECT_EQ(Mapped("SE\\A.WAV", '\\'), "SE\\A.WAV");
  EXPECT_EQ(Mapped(kHyo + "\\" + kSo + ".TXT", '/'), kHyo + "/" + kSo + ".TXT");
  EXPECT_EQ(Mapped(kDash + kDash, '/'), kDash + kDash);
  EXPECT_EQ(Mapped("A\\\\B", '/'), "A//B");
  // A lead byte at the very end stands alone; the terminator is not taken with it.
  EXPECT_EQ(Mapped("AB\x95", '/'), "AB\x95");
}

TEST(LeavingNames, RootsDrivesAndParentsAreRefused) {
  for (const std::string& name :
       {std::string("\\ETC\\X"), std::string("/etc/x"), std::string("C:X.TXT"),
        std::string("c:\\X"), std::string(".."), std::string("..\\X"), std::string("A\\..\\..\\X"),
        std::string("A/../X"), std::string("A\\.."), std::string("...\\X"),
        std::string(".. \\X")}) {
    EXPECT_TRUE(StoredNameLeavesDirectory(name.c_str())) << name;
  }
}

TEST(LeavingNames, OrdinaryNamesStay) {
  for (const std::string& name :
       {std::string("A.TXT"), std::string("SE\\A.WAV"), std::string("..A"), std::string("A.."),
        std::string(".\\A"), std::string("AB:C"), std::string(""), kHyo + "\\X", kSo + kDash,
        std::string("1:")}) {
    EXPECT_FALSE(StoredNameLeavesDirectory(name.c_str())) << name;
  }
  // 0x5C inside 表 is no separator, so "表.." is one name, not a parent.
  EXPECT_FALSE(StoredNameLeavesDirectory((kHyo + "..").c_str()));
}

TEST(DeviceNames, AreFoundInAnyLevelAndAnyDisguise) {
  for (const std::string& name :
       {std::string("NUL"), std::string("nul.txt"), std::string("CON."), std::string("NUL .TXT"),
        std::string("AUX  "), std::string("com1"), std::string("LPT9.DAT"), std::string("PRN.A.B"),
        std::string("CONIN$"), std::string("conout$.log"), std::string("SE\\CON\\A.WAV"),
        std::string("SE/aux")}) {
    EXPECT_TRUE(StoredNameHasDeviceComponent(name.c_str())) << name;
  }
  for (const std::string& name :
       {std::string("NULL"), std::string("COM0"), std::string("COM10"), std::string("LPT"),
        std::string("ACON"), std::string("CON_"), std::string("A.NUL"), std::string("CONIN"),
        std::string("SE\\NULL\\A"), kHyo + "CON"}) {
    EXPECT_FALSE(StoredNameHasDeviceComponent(name.c_str())) << name;
  }
}

TEST(CheckStoredName, DevicesAndStreamsAreRefusedOnlyWhereTheyAreNoFiles) {
  struct Case {
    std::string name;
    NameRefusal onWindows;
    NameRefusal onLinux;
  };
  for (const Case& c : {
           Case{"NUL.TXT", NameRefusal::kDevice, NameRefusal::kNone},
           Case{"aux", NameRefusal::kDevice, NameRefusal::kNone},
           Case{"COM1", NameRefusal::kDevice, NameRefusal::kNone},
           Case{"Lpt9.Dat", NameRefusal::kDevice, NameRefusal::kNone},
           Case{"CON .TXT", NameRefusal::kDevice, NameRefusal::kNone},
           Case{"SE\\PRN\\A.WAV", NameRefusal::kDevice, NameRefusal::kNone},
           Case{"README.TXT:x", NameRefusal::kStream, NameRefusal::kNone},
           Case{"AB:C", NameRefusal::kStream, NameRefusal::kNone},
           Case{"SE\\A.WAV:", NameRefusal::kStream, NameRefusal::kNone},
           Case{"..\\NUL", NameRefusal::kLeavesOutput, NameRefusal::kLeavesOutput},
           Case{"C:NUL", NameRefusal::kLeavesOutput, NameRefusal::kLeavesOutput},
           Case{"NULL.TXT", NameRefusal::kNone, NameRefusal::kNone},
           Case{"COM10", NameRefusal::kNone, NameRefusal::kNone},
           Case{kSo + ".TXT", NameRefusal::kNone, NameRefusal::kNone},
       }) {
    EXPECT_EQ(CheckStoredName(c.name.c_str(), kWindowsRules), c.onWindows) << c.name;
    EXPECT_EQ(CheckStoredName(c.name.c_str(), kLinuxRules), c.onLinux) << c.name;
  }
}

TEST(ReservedOnWindows, DevicesStreamsForbiddenCharactersAndTrailingDots) {
  for (const std::string& name :
       {std::string("NUL.TXT"), std::string("README.TXT:x"), std::string("C:A:B"),
        std::string("A<B"), std::string("A>B"), std::string("A\"B"), std::string("A|B"),
        std::string("A?"), std::string("*.TXT"), std::string("A\x01"), std::string("A\tB"),
        std::string("SE.\\A"), std::string("A "), std::string("SE \\A"), std::string(".")}) {
    EXPECT_TRUE(StoredNameReservedOnWindows(name.c_str())) << name;
  }
  // A drive at the start leaves the directory instead; ".." is no trailing dot
  // but a parent; a double-byte character's second byte is no '|' or '\\'.
  for (const std::string& name : {std::string("A.TXT"), std::string("C:X.TXT"), std::string(".."),
                                  std::string("..\\X"), std::string("SE\\A.WAV"), kPo + ".TXT", kSo,
                                  kHyo + "\\" + kDash, std::string(".A"), std::string("A B.TXT")}) {
    EXPECT_FALSE(StoredNameReservedOnWindows(name.c_str())) << name;
  }
}

}  // namespace
