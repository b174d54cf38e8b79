#include "platform/terminal_keys.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Decodes what a terminal sends after Esc into the codes a key wait returns.
std::string Codes(const std::string& afterEsc) {
  TerminalInput input = DecodeEscapeSequence(afterEsc.data(), afterEsc.size());
  switch (input.kind) {
    case TerminalInput::Kind::kCharacter:
      return std::to_string(input.character);
    case TerminalInput::Kind::kExtended: {
      KeyCodes codes = ExtendedKeyCodes(input.key, input.modifiers);
      return std::to_string(codes.prefix) + "," + std::to_string(codes.second);
    }
    case TerminalInput::Kind::kIgnored:
      break;
  }
  return "ignored";
}

TEST(TerminalKeys, CursorAndEditingKeys) {
  EXPECT_EQ(Codes("[A"), "224,72");
  EXPECT_EQ(Codes("OA"), "224,72");  // application cursor mode
  EXPECT_EQ(Codes("[B"), "224,80");
  EXPECT_EQ(Codes("[C"), "224,77");
  EXPECT_EQ(Codes("[D"), "224,75");
  EXPECT_EQ(Codes("[H"), "224,71");
  EXPECT_EQ(Codes("[1~"), "224,71");
  EXPECT_EQ(Codes("[F"), "224,79");
  EXPECT_EQ(Codes("[4~"), "224,79");
  EXPECT_EQ(Codes("[2~"), "224,82");
  EXPECT_EQ(Codes("[3~"), "224,83");
  EXPECT_EQ(Codes("[5~"), "224,73");
  EXPECT_EQ(Codes("[6~"), "224,81");
}

TEST(TerminalKeys, FunctionKeys) {
  EXPECT_EQ(Codes("OP"), "0,59");
  EXPECT_EQ(Codes("OS"), "0,62");
  EXPECT_EQ(Codes("[11~"), "0,59");  // rxvt and PuTTY
  EXPECT_EQ(Codes("[[A"), "0,59");   // the Linux console
  EXPECT_EQ(Codes("[[E"), "0,63");
  EXPECT_EQ(Codes("[15~"), "0,63");
  EXPECT_EQ(Codes("[21~"), "0,68");
  EXPECT_EQ(Codes("[23~"), "224,133");
  EXPECT_EQ(Codes("[24~"), "224,134");
}

TEST(TerminalKeys, ModifiersReportedByTheTerminal) {
  EXPECT_EQ(Codes("[1;2A"), "224,72");    // Shift+Up: as Up
  EXPECT_EQ(Codes("[1;5A"), "224,141");   // Ctrl+Up
  EXPECT_EQ(Codes("[1;3A"), "0,152");     // Alt+Up
  EXPECT_EQ(Codes("[1;7A"), "0,152");     // Ctrl+Alt+Up: Alt wins
  EXPECT_EQ(Codes("[1;2P"), "0,84");      // Shift+F1
  EXPECT_EQ(Codes("[1;5P"), "0,94");      // Ctrl+F1
  EXPECT_EQ(Codes("[15;3~"), "0,108");    // Alt+F5
  EXPECT_EQ(Codes("[24;2~"), "224,136");  // Shift+F12
  EXPECT_EQ(Codes("[3;5~"), "224,147");   // Ctrl+Delete
  EXPECT_EQ(Codes("[6;3~"), "0,161");     // Alt+Page Down
}

TEST(TerminalKeys, CharactersAfterEsc) {
  EXPECT_EQ(Codes(""), "27");    // a lone Esc
  EXPECT_EQ(Codes("x"), "120");  // Alt+x sends Esc x
  EXPECT_EQ(Codes("[Z"), "9");   // Shift+Tab
}

TEST(TerminalKeys, SequencesOfNoKeyAreIgnored) {
  EXPECT_EQ(Codes("[I"), "ignored");         // focus in
  EXPECT_EQ(Codes("[200~"), "ignored");      // start of a paste
  EXPECT_EQ(Codes("[<0;10;5M"), "ignored");  // mouse report
  EXPECT_EQ(Codes("[E"), "ignored");         // keypad 5
  EXPECT_EQ(Codes("["), "ignored");          // cut off
  EXPECT_EQ(Codes("[99~"), "ignored");
}

TEST(TerminalKeys, SequenceEnds) {
  EXPECT_FALSE(EscapeSequenceComplete("", 0));
  EXPECT_FALSE(EscapeSequenceComplete("[", 1));
  EXPECT_FALSE(EscapeSequenceComplete("[1;5", 4));
  EXPECT_TRUE(EscapeSequenceComplete("[1;5A", 5));
  EXPECT_TRUE(EscapeSequenceComplete("[15~", 4));
  EXPECT_FALSE(EscapeSequenceComplete("O", 1));
  EXPECT_TRUE(EscapeSequenceComplete("OP", 2));
  EXPECT_FALSE(EscapeSequenceComplete("[[", 2));
  EXPECT_TRUE(EscapeSequenceComplete("[[A", 3));
  EXPECT_TRUE(EscapeSequenceComplete("x", 1));
  EXPECT_TRUE(EscapeSequenceComplete("[0123456789;;;;;", 16));  // runaway input stops
}

}  // namespace
