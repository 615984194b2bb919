// The ID3 reader: ID3v2 text frames (title, artist, album, genre) or, without
// an ID3v2 tag, the ID3v1 title, artist and genre byte with the Japanese
// genre table.
#include "player/formats/tags/tag_readers.h"

#include "platform/system/text.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <utility>

namespace qorve {
namespace {

constexpr std::size_t kId3v2HeaderBytes = 10;
constexpr std::size_t kFrameHeaderBytes = 10;
constexpr std::size_t kGenreCharacters = 4;  // "(13)": a numeric reference stays as written
constexpr std::size_t kId3v1TextBytes = 30;

constexpr std::array<std::string_view, 80> kGenres = {
    "ブルース", "クラシックロック", "カントリー", "ダンス", "ディスコ", "ファンク", "グランジ", "ヒップホップ",
    "ジャズ", "メタル", "ニューエイジ", "オールディーズ", "その他", "ポップス", "Ｒ＆Ｂ", "ラップ", "レゲエ",
    "ロック", "テクノ", "インダストリアル", "オルタナティヴ", "スカ", "デスメタル", "プランクス",
    "サウンドトラック", "ユーロテクノ", "アンビエント", "トリップホップ", "ヴォーカル", "ジャズ＋ファンク",
    "フュージョン", "トランス", "クラシカル", "インストゥルメンタル", "アシッド", "ハウス", "ゲーム",
    "サウンドクリップ", "ゴスペル", "ノイズ", "アルタナロック", "ベース", "ソウル", "パンク", "スペース",
    "メディテイティブ", "インストポップ", "インストロック", "エスニック", "ゴシック", "ダークウェイブ",
    "テクノ・インダストリアル", "エレクトロニック", "ポップ・フォーク", "ユーロダンス", "ドリーム",
    "サザンロック", "コメディ", "カルト", "ガングスタ", "トップ４０", "クリスチャンラップ", "ポップ・ファンク",
    "ジャングル", "ネイティブアメリカン", "カバレット", "ニューウェイブ", "サイケデリック", "レイブ",
    "ショートゥーン", "トレーラー", "ローファイ", "トライバル", "アシッドパンク", "アシッドジャズ", "ポルカ",
    "レトロ", "ミュージカル", "ロックンロール", "ハードロック",
};

uint32_t Byte(std::string_view bytes, std::size_t at) { return static_cast<unsigned char>(bytes[at]); }

// 7 bits per byte, most significant first.
uint32_t Synchsafe(std::string_view bytes, std::size_t at) {
  return (Byte(bytes, at) & 0x7F) << 21 | (Byte(bytes, at + 1) & 0x7F) << 14 | (Byte(bytes, at + 2) & 0x7F) << 7 |
         (Byte(bytes, at + 3) & 0x7F);
}

uint32_t Big32(std::string_view bytes, std::size_t at) {
  return Byte(bytes, at) << 24 | Byte(bytes, at + 1) << 16 | Byte(bytes, at + 2) << 8 | Byte(bytes, at + 3);
}

// UTF-16 code units up to the first zero unit, as little-endian bytes.
std::string Utf16UpToZero(std::string_view bytes, bool bigEndian) {
  std::string little;
  for (std::size_t at = 0; at + 1 < bytes.size(); at += 2) {
    char low = bytes[at], high = bytes[at + 1];
    if (bigEndian) std::swap(low, high);
    if (low == 0 && high == 0) break;
    little += low;
    little += high;
  }
  return Utf16LeToUtf8(little);
}

// The first text of a text frame's body (encoding byte, then the text).
std::string FrameText(std::string_view body) {
  if (body.empty()) return {};
  const unsigned char encoding = static_cast<unsigned char>(body[0]);
  std::string_view text = body.substr(1);
  switch (encoding) {
    case 1: {  // UTF-16 with a byte-order mark (little-endian when it has none)
      if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFE && static_cast<unsigned char>(text[1]) == 0xFF) {
        return Utf16UpToZero(text.substr(2), true);
      }
      if (text.size() >= 2 && static_cast<unsigned char>(text[0]) == 0xFF && static_cast<unsigned char>(text[1]) == 0xFE) {
        text = text.substr(2);
      }
      return Utf16UpToZero(text, false);
    }
    case 2:
      return Utf16UpToZero(text, true);
    default:  // 0 ISO-8859-1 (CP932 in Japanese taggers), 3 UTF-8
      return TextToUtf8(text.substr(0, text.find('\0')));
  }
}

std::string_view FirstCharacters(std::string_view utf8, std::size_t count) {
  std::size_t at = 0;
  for (std::size_t n = 0; n < count && at < utf8.size(); ++n) {
    ++at;
    while (at < utf8.size() && (static_cast<unsigned char>(utf8[at]) & 0xC0) == 0x80) ++at;
  }
  return utf8.substr(0, at);
}

// Removes trailing blanks and 0xFF bytes (the padding ID3v1 writers use).
std::string_view TrimPadding(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || static_cast<unsigned char>(text.back()) == 0xFF)) {
    text.remove_suffix(1);
  }
  return text;
}

template <std::size_t N>
void TrimField(char (&field)[N]) {
  const std::string trimmed(TrimPadding(std::string_view(field, strnlen(field, N))));
  SetInfoText(field, trimmed);
}

// Every position of the tag is compared with the four frame names; a name
// followed by a zero byte (the top byte of a frame size under 16 MB) is taken
// as a frame. Later frames overwrite earlier ones.
void ReadId3v2(std::string_view head, MediaInfo& info) {
  const int version = static_cast<int>(Byte(head, 3));
  const std::size_t size = Synchsafe(head, 6);
  const std::string_view tag = head.substr(kId3v2HeaderBytes, std::min(size, head.size() - kId3v2HeaderBytes));
  for (std::size_t at = 0; at + 4 <= tag.size(); ++at) {
    if (at + 4 < tag.size() && tag[at + 4] != '\0') continue;
    const std::string_view id = tag.substr(at, 4);
    const bool title = EqualsIgnoreCase(id, "TIT2"), artist = EqualsIgnoreCase(id, "TPE1"),
               album = EqualsIgnoreCase(id, "TALB"), genre = EqualsIgnoreCase(id, "TCON");
    if (!title && !artist && !album && !genre) continue;
    std::string text;
    if (at + kFrameHeaderBytes < tag.size()) {
      const std::size_t frameBytes = version >= 4 ? Synchsafe(tag, at + 4) : Big32(tag, at + 4);
      const std::size_t body = at + kFrameHeaderBytes;
      text = FrameText(tag.substr(body, std::min<std::size_t>(frameBytes, tag.size() - body)));
    }
    if (title) SetInfoText(info.Title, text);
    if (artist) SetInfoText(info.Artist, text);
    if (album) SetInfoText(info.Album, text);
    if (genre) SetInfoText(info.Genre, FirstCharacters(text, kGenreCharacters));
  }
}

// Returns the genre byte.
int ReadId3v1(std::string_view last128, MediaInfo& info) {
  const auto field = [&](std::size_t at) {
    std::string_view text = last128.substr(at, kId3v1TextBytes);
    return TextToUtf8(TrimPadding(text.substr(0, text.find('\0'))));
  };
  SetInfoText(info.Title, field(3));
  SetInfoText(info.Artist, field(3 + kId3v1TextBytes));
  return static_cast<int>(Byte(last128, 127));
}

}  // namespace

std::size_t Id3v2TagBytes(std::string_view head) {
  if (head.size() < kId3v2HeaderBytes || !EqualsIgnoreCase(head.substr(0, 3), "ID3")) return 0;
  const bool footer = (Byte(head, 5) & 0x10) != 0;
  return kId3v2HeaderBytes + Synchsafe(head, 6) + (footer ? 10 : 0);
}

std::string_view Id3v1GenreName(int index) {
  if (index < 0 || index >= static_cast<int>(kGenres.size())) return {};
  return kGenres[static_cast<std::size_t>(index)];
}

void ReadId3(std::string_view head, std::string_view last128, MediaInfo& info) {
  int genreByte = -1;
  if (Id3v2TagBytes(head) > 0) {
    ReadId3v2(head, info);
  } else if (last128.size() == 128 && EqualsIgnoreCase(last128.substr(0, 3), "TAG")) {
    genreByte = ReadId3v1(last128, info);
  }
  TrimField(info.Title);
  TrimField(info.Artist);
  const std::string_view genre = Id3v1GenreName(genreByte);
  if (!genre.empty()) SetInfoText(info.Genre, genre);
}

}  // namespace qorve
