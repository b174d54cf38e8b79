// The window's decisions that need no window: the tree and rows it shows of
// an archive, their order and filter, and how it previews an entry.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "mgarc/window/browser_model.h"
#include "mgarc/window/preview_choice.h"
#include "platform/case_folding.h"
#include "test_archive.h"

using namespace mgarc::window;

namespace {

// 音声 (a directory), 声.TXT in it; names in code page 932 as stored.
const std::string kVoiceDirectory = "\x89\xB9\x90\xBA";
const std::string kVoiceFile = kVoiceDirectory + "\\\x90\xBA.TXT";

class WindowModel : public ::testing::Test {
 protected:
  // Loads archive entries (stored names, data) as the window opens a file.
  BrowserModel Open(const std::vector<TestEntry>& entries) {
    WriteFile(path_, TestArchive{"VIZ00", entries}.Bytes());
    EXPECT_FALSE(mgarc::engine::LoadArchive(path_, view_).has_value());
    // Linux's file names are UTF-8 already.
    return BrowserModel(view_, [](std::string_view name) { return std::string(name); });
  }

  std::vector<std::string> PathsOf(const BrowserModel& model,
                                   const std::vector<std::uint32_t>& rows) {
    std::vector<std::string> paths;
    for (std::uint32_t row : rows) paths.push_back(model.Path(row));
    return paths;
  }

  TempDir dir_;
  std::string path_ = dir_ / "a.dat";
  mgarc::engine::ArchiveView view_;
};

using Paths = std::vector<std::string>;

TEST_F(WindowModel, TheTreeAndRowsAreWhatExtractWrites) {
  BrowserModel model = Open({{"B.WAV", "bb"},
                             {"SE\\A.WAV", "a"},
                             {kVoiceFile, "koe"},
                             {"a.txt", "first"},
                             {"..\\EVIL", "e"},
                             {"SE\\Z\\DEEP.BIN", "deep"},
                             {"a.txt", "second, the one written"}});
  EXPECT_EQ(PathsOf(model, model.Subdirectories(BrowserModel::kRoot)),
            (Paths{"SE", "音声"}));  // byte order: a lead byte after ASCII
  EXPECT_EQ(PathsOf(model, model.Files(BrowserModel::kRoot, {}, UppercaseText)),
            (Paths{"B.WAV", "a.txt"}));
  const std::uint32_t se = model.Subdirectories(BrowserModel::kRoot)[0];
  EXPECT_EQ(PathsOf(model, model.Files(se, {}, UppercaseText)), (Paths{"SE/A.WAV"}));
  EXPECT_EQ(PathsOf(model, model.Subdirectories(se)), (Paths{"SE/Z"}));

  // The entry that leaves is a problem, not a row; the earlier a.txt is
  // replaced, as extraction replaces it.
  ASSERT_EQ(model.problems().size(), 1u);
  EXPECT_EQ(model.problems()[0].subject, "../EVIL");
  const Totals whole = model.whole();
  EXPECT_EQ(whole.files, 5u);
  EXPECT_EQ(whole.bytes, 2u + 1 + 3 + 4 + 23);
  const std::vector<std::uint32_t> root = model.Files(BrowserModel::kRoot, {}, UppercaseText);
  EXPECT_EQ(model.Size(root[1]), 23u);
  EXPECT_EQ(model.Count(root).bytes, 25u);
}

TEST_F(WindowModel, AFilterTakesExtractsPatternsBelowTheDirectory) {
  BrowserModel model = Open({{"B.WAV", "b"},
                             {"SE\\A.WAV", "a"},
                             {"SE\\Z\\C.wav", "c"},
                             {"SE\\README", "r"},
                             {kVoiceFile, "koe"}});
  const std::uint32_t se = model.Subdirectories(BrowserModel::kRoot)[0];
  struct Case {
    std::uint32_t directory;
    std::vector<std::string> patterns;
    Paths expected;
  } cases[] = {
      {BrowserModel::kRoot, {"*.WAV"}, {"B.WAV", "SE/A.WAV", "SE/Z/C.wav"}},  // either case
      {se, {"*.wav"}, {"SE/A.WAV", "SE/Z/C.wav"}},
      {se, {"SE/README", "*/Z/*"}, {"SE/README", "SE/Z/C.wav"}},
      {BrowserModel::kRoot, {"音声/*"}, {"音声/声.TXT"}},
      {BrowserModel::kRoot, {"NOTHING"}, {}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(PathsOf(model, model.Files(c.directory, c.patterns, UppercaseText)), c.expected)
        << c.patterns[0];
  }
}

TEST_F(WindowModel, RowsSortByEachColumnThenByPath) {
  BrowserModel model =
      Open({{"b.bin", "1234"}, {"A.WAV", "12"}, {"C.TXT", "12"}, {"d.wav", "123456"}, {"E", ""}});
  const std::vector<std::uint32_t> rows = model.Files(BrowserModel::kRoot, {}, UppercaseText);
  struct Case {
    Column column;
    bool ascending;
    Paths expected;
  } cases[] = {
      // Names fold as the host's file names do: "b.bin" between A and C.
      {Column::kName, true, {"A.WAV", "b.bin", "C.TXT", "d.wav", "E"}},
      {Column::kName, false, {"E", "d.wav", "C.TXT", "b.bin", "A.WAV"}},
      // Equal sizes fall back on the path, in either direction.
      {Column::kSize, true, {"E", "A.WAV", "C.TXT", "b.bin", "d.wav"}},
      {Column::kSize, false, {"d.wav", "b.bin", "A.WAV", "C.TXT", "E"}},
      {Column::kType, true, {"E", "b.bin", "C.TXT", "A.WAV", "d.wav"}},
      {Column::kOffset, true, {"b.bin", "A.WAV", "C.TXT", "d.wav", "E"}},
      {Column::kOffset, false, {"E", "d.wav", "C.TXT", "A.WAV", "b.bin"}},
  };
  for (const Case& c : cases) {
    std::vector<std::uint32_t> sorted = rows;
    model.Sort(sorted, c.column, c.ascending, UppercaseText);
    EXPECT_EQ(PathsOf(model, sorted), c.expected)
        << static_cast<int>(c.column) << (c.ascending ? " up" : " down");
  }
}

TEST(WindowPreview, TheBytesSignatureDecidesThenTheNameThenTheText) {
  using namespace std::string_literals;
  struct Case {
    const char* name;
    std::string head;
    PreviewKind kind;
  } cases[] = {
      {"TITLE.DAT", "\x89PNG\r\n\x1A\n....", PreviewKind::kImage},
      {"A.BMP", "BM....", PreviewKind::kImage},
      {"A", "\xFF\xD8\xFF\xE0", PreviewKind::kImage},
      {"A", "GIF89a", PreviewKind::kImage},
      {"A", "II*\0"s, PreviewKind::kImage},
      {"A", "MM\0*"s, PreviewKind::kImage},
      {"A.ICO", "\0\0\1\0\1\0"s, PreviewKind::kImage},
      {"SE.DAT", "RIFF\x24\0\0\0WAVEfmt "s, PreviewKind::kSound},
      {"A.AVI", "RIFF\x24\0\0\0AVI "s, PreviewKind::kHex},
      {"SCRIPT.DAT", "\xEF\xBB\xBFline", PreviewKind::kText},
      {"SCRIPT.DAT", "\xFF\xFEl\0"s, PreviewKind::kText},
      {"A.TXT", "\x01\x02 binary, but named as text", PreviewKind::kText},
      {"A.KS", "", PreviewKind::kText},
      // Shift-JIS dialogue with line ends; a lead byte cut by the head's end.
      {"MSG.BIN", "\x82\xA0\x82\xA2\r\n\x8E\x9E\t\x1A\x83", PreviewKind::kText},
      {"A.BIN", "\x82\x20", PreviewKind::kHex},  // a lead byte and no trail
      {"A.BIN", "abc\0def"s, PreviewKind::kHex},
      {"A.BIN", "", PreviewKind::kHex},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(ChoosePreview(c.name, c.head), c.kind) << c.name << " " << c.head;
  }
}

TEST(WindowPreview, AByteOrderMarkOrUtf8ThroughoutChoosesTheEncodingElseCodePage932) {
  using namespace std::string_literals;
  struct Case {
    std::string head;
    TextEncoding encoding;
    std::size_t markSize;
  } cases[] = {
      {"\xEF\xBB\xBFtext", TextEncoding::kUtf8, 3},
      {"\xFF\xFEt\0"s, TextEncoding::kUtf16LittleEndian, 2},
      {"\xFE\xFF\0t"s, TextEncoding::kUtf16BigEndian, 2},
      {"\x82\xA0 text", TextEncoding::kCodePage932, 0},
      {"\xEF\xBB", TextEncoding::kCodePage932, 0},  // a mark cut short is none
      // UTF-8 without a mark: all of it, beyond ASCII, no control characters;
      // its last character may be cut off by the head's end.
      {"\xE3\x81\x93\xE3\x82\x93\r\n", TextEncoding::kUtf8, 0},
      {"\xE3\x81\x93\xE3\x82", TextEncoding::kUtf8, 0},
      {"\xE3\x81\x93\xE3\x82 x", TextEncoding::kCodePage932, 0},
      {"\xE3\x81\x93\0"s, TextEncoding::kCodePage932, 0},
      {"plain text", TextEncoding::kCodePage932, 0},
      {"", TextEncoding::kCodePage932, 0},
  };
  for (const Case& c : cases) {
    const TextChoice choice = ChooseTextEncoding(c.head);
    EXPECT_EQ(choice.encoding, c.encoding) << c.head;
    EXPECT_EQ(choice.markSize, c.markSize) << c.head;
  }
  EXPECT_EQ(TypeOf("a.wav"), "WAV");
  EXPECT_EQ(TypeOf("SE/ARCHIVE.tar.gz"), "GZ");
  EXPECT_EQ(TypeOf(".hidden"), "");
  EXPECT_EQ(TypeOf("NAME."), "");
}

}  // namespace

TEST(WindowPreview, TheHexViewGivesOffsetsBytesAndPrintableText) {
  EXPECT_EQ(HexView(""), "");
  // A full line, then a short one: the gap after the eighth byte and the
  // short line's padding keep the text column in place.
  const std::string bytes = std::string("ABCDEFGH\x00\x01\x7F\x80\xFF xyz", 17) + "\n~";
  EXPECT_EQ(HexView(bytes),
            "00000000  41 42 43 44 45 46 47 48  00 01 7f 80 ff 20 78 79  |ABCDEFGH..... xy|\r\n"
            "00000010  7a 0a 7e                                          |z.~|\r\n");
  // Offsets count on past the first 64 KiB's lines.
  const std::string view = HexView(std::string(0x10010, 'a'));
  EXPECT_EQ(view.substr(view.rfind("\r\n", view.size() - 3) + 2, 10), "00010000  ");
}
