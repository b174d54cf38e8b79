#include "marrowgilder/cli/screens.h"

#include <cstring>

namespace marrowgilder::cli {

namespace {

constexpr const char* kBorderRow = "☆──────────────────────────────────────☆";
constexpr const char* kEmptyBoxRow =
    "│                                                                            │";
constexpr const char* kPromptRow =
    "│                                               どれかキーを押してください   │";
constexpr const char* kTableRuleRow = "☆────☆───────────────────────────☆─────☆";
constexpr const char* kEmptyTableRow =
    "│        │                                                      │          │";

}  // namespace

// clang-format off
const Screen HelpScreen = {{
    kBorderRow,
    "│                                ☆操作説明☆                                │",
    kEmptyBoxRow,
    "│☆1:コマンドラインから、以下のように記述して実行します。                    │",
    kEmptyBoxRow,
    "│  第１引数：ゲームタイトル識別子( タイトル―識別子一覧は'r'を指定して参照 ) │",
    "│  第２引数：切り出したいデータファイル名( フルパスにて指定 )                │",
    "│  第３引数：データの保存先( フルパスにて指定 )                              │",
    kEmptyBoxRow,
    "│☆2:例 ｢TestGame｣のSample.datを変換してd:\\Testディレクトリに保存する        │",
    kEmptyBoxRow,
    "│  Marrowgilder TestGame K:\\Sample.dat D:\\Test\\                              │",
    kEmptyBoxRow,
    "│☆3:システムメニューについて                                                │",
    kEmptyBoxRow,
    "│  システムメニューは、第一引数に コマンド識別子を指定する事で呼び出せます。 │",
    "│  例：コマンド一覧を呼び出す場合                                            │",
    kEmptyBoxRow,
    "│  Marrowgilder c                                                            │",
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kPromptRow,
    kBorderRow,
}};

const Screen CommandListScreen = {{
    kBorderRow,
    "│                              ☆コマンド一覧☆                              │",
    kEmptyBoxRow,
    "│   C    コマンド一覧                                                        │",
    "│   R    識別子一覧表                                                        │",
    "│   D    このアプリケーションのバージョン情報                                │",
    "│   ?    操作説明                                                            │",
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kPromptRow,
    kBorderRow,
}};

const Screen VersionScreen = {{
    kBorderRow,
    "│                             ☆バージョン情報☆                             │",
    kEmptyBoxRow,
    "│★このファイルについて                                                      │",
    kEmptyBoxRow,
    "│☆種類　　　　：ゲームデータ抽出ツール                                      │",
    "│☆動作環境    ：Win9x ( NTでは未確認 )                                      │",
    "│☆種別        ：フリーウェア                                                │",
    "│☆転載        ：配布ファイルを改変しない場合に限り可                        │",
    kEmptyBoxRow,
    kEmptyBoxRow,
    "│★ファイルバージョン情報                                                    │",
    kEmptyBoxRow,
    kEmptyBoxRow,
    "│☆File Version : 2.001.3375                                                 │",
    "│☆Application Version : 2.00                                                │",
    "│☆Notice : Use at your own risk; no warranty of any kind.                   │",
    "│☆Genuine FileName : Marrowgilder.exe                                       │",
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kEmptyBoxRow,
    kPromptRow,
    kBorderRow,
}};

const Screen IdentifierScreen = {{
    kBorderRow,
    "│                              ☆識別子一覧表☆                  Page:  1/ 1 │",
    kTableRuleRow,
    "│登録番号│                     ゲームタイトル                   │  識別子  │",
    kTableRuleRow,
    "│       1│                                              ツキカゲ│        TK│",
    "│       2│                                  Glimmer ～グリマー～│        GL│",
    "│       3│                                           IRON GARDEN│IG:音声IGW│",
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kEmptyTableRow,
    kTableRuleRow,
    "│                                           どれかキーを押してください       │",
    kBorderRow,
}};

// clang-format on

void FormatScreenRow(const char* row, ConsoleKind console, char* out, std::size_t size) {
  std::size_t used = 0;
  auto put = [&](const char* bytes, std::size_t length) {
    if (used + length < size) {
      std::memcpy(out + used, bytes, length);
      used += length;
    }
  };
  if (console == ConsoleKind::kJapaneseConsole) {
    put(row, std::strlen(row));
    out[used] = '\0';
    return;
  }
  for (const char* p = row; *p != '\0';) {
    std::size_t length = 1;
    while ((static_cast<unsigned char>(p[length]) & 0xC0) == 0x80) ++length;
    put(p, length);
    if (std::strncmp(p, "─", length) == 0 || std::strncmp(p, "―", length) == 0) {
      put(p, length);
    } else if (std::strncmp(p, "☆", length) == 0 || std::strncmp(p, "★", length) == 0 ||
               std::strncmp(p, "│", length) == 0) {
      put(" ", 1);
    }
    p += length;
  }
  put("\n", 1);
  out[used] = '\0';
}

}  // namespace marrowgilder::cli
