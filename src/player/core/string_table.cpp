#include "player/core/string_table.h"

#include <cstdlib>
#include <string_view>

namespace qorve {
namespace {

// One string of the table; `english` is null where the English table has no
// entry for the id. "\u3000" is the ideographic space that ends most Japanese
// display items.
struct TableString {
  int id;
  const char* japanese;
  const char* english;
};

constexpr TableString kStrings[] = {
    {1, "%s のインストールで再生できるかもしれません。", "Install %s"},
    {2, "[情報] ", "[Info] "},
    {3, "形式：%s\u3000", "Kind:%s "},
    {4, "ファイル：%s\u3000", "File:%s "},
    {5, "トラック：%d\u3000", "Track:%d "},
    {6, "題名：%s\u3000", "Title:%s "},
    {7, "作者：%s\u3000", "Author:%s "},
    {8, "出展：%s\u3000", "Album:%s "},
    {9, "種別：%s\u3000", "Genre:%s "},
    {10, "[詳細] ", "[Data] "},
    {11, "長さ：%s\u3000", "Time:%s "},
    {12, "サイズ：%d x %d\u3000", "Size:%d x %d "},
    {13, "圧縮：%s\u3000", "Codec:%s "},
    {14, "チャンネル：%d\u3000", "Channel:%d "},
    {15, "周波数：%2.1f KHz\u3000", "Sample:%2.1f KHz "},
    {16, "ビット：%d\u3000", "Bit:%d "},
    {17, "レート：%d Kbits/s\u3000", "Bitrate:%d Kbits/s "},
    {18, "[状態] ", "[Play] "},
    {19, "残り：%s\u3000", "Rest:%s "},
    {20, "経過：%s\u3000", "Progress:%s "},
    {21, "停止中\u3000", "Stop "},
    {22, "再生中\u3000", "Play "},
    {23, "一時停止中\u3000", "Pause "},
    {24, "ループ中\u3000", "Loop "},
    {25, "連続再生中\u3000", "series "},
    {26, "ランダム再生中\u3000", "Random "},
    {27, "リスト：%d/%d\u3000", "List:%d/%d "},
    {28, "音量：%3d％\u3000", "Volume:%3d% "},
    {1001, "エラーが発生しましたが、具体的原因は不明です。", "Unclear error occurs in the cause."},
    {1002, "ファイルが使用中なので開くことができません。", "File isn't opened."},
    {1003, "指定されたファイルが見つかりません。", "File isn't found."},
    {1004, "このファイルには対応していません。", "For un ."},
    {1005, "拡張子が間違っているかもしれません。", "Extension is mistaken. "},
    {1006, "デバイスが使用中なので再生できません。", "During use of device ."},
    {1007, "対応するコーデックが見つかりません。", "Codec isn't found. "},
    {1008, "メモリ不足です。他のアプリを終了してください。", "Shortage of memory ."},
    {1010, "必要なＤＬＬが見つかりません。", "DLL isn't found. "},
    {1011, "ファィルが壊れているかもしれません。", "File breaks. \n"},
    {1012, "自己解凍形式ではないか、未対応の書庫です。", "It is library for un which is a self-expandable form. "},
    {1013, "致命的エラーが発生しました。ファイルの破損を確認してください。", "Fatal error occurrence. The possibility of the file damage. \n"},
    {1014, "必要なActiveXコントロールがありません。", "It lacks ActiveX control."},
    {1015, "DirectShowが利用できません。", nullptr},
    {1016, "フォルダ再生モード\u3000", "Folder play"},
    {1017, "プレイリスト再生モード\u3000", "Playlist play"},
};

const TableString* Find(int id) {
  for (const TableString& entry : kStrings) {
    if (entry.id == id) return &entry;
  }
  return nullptr;
}

}  // namespace

UiLanguage CurrentUiLanguage() {
  // The first of these that is set (and not empty) names the locale of
  // messages, as the C library decides it.
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* value = std::getenv(name);
    if (value == nullptr || *value == '\0') continue;
    return std::string_view(value).starts_with("en") ? UiLanguage::English : UiLanguage::Japanese;
  }
  return UiLanguage::Japanese;
}

std::string LoadString(int id) { return LoadString(id, CurrentUiLanguage()); }

std::string LoadString(int id, UiLanguage language) {
  const TableString* entry = Find(id);
  if (entry == nullptr) return {};
  const char* text = language == UiLanguage::English ? entry->english : entry->japanese;
  return text != nullptr ? std::string(text) : std::string();
}

}  // namespace qorve
