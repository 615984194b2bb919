#include "player/formats/video/video_headers.h"

#include "platform/system/text.h"
#include "player/formats/tags/codec_list.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace qorve {
namespace {

// AVI: the usual layout of one main header and one stream header.
constexpr std::size_t kAviFormatCode = 188;   // strf: BITMAPINFOHEADER.biCompression
constexpr std::size_t kAviHandlerCode = 112;  // strh: fccHandler
constexpr std::size_t kAviCodeBytes = 4;
constexpr std::size_t kInfoScanEnd = 54;   // last start position of "LIST" in the tail
constexpr std::size_t kInfoTitleAt = 20;   // "LIST" size "INFO" "INAM" size, then the text
constexpr std::size_t kInfoArtistSkip = 29;  // from "LIST" past title, terminator, "IART" and size
constexpr std::size_t kInfoArtistEnd = 62;

// WMV: the header object (30 bytes), then the content description object.
constexpr std::string_view kContentDescription{"\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C",
                                               16};
constexpr std::size_t kDescriptionAt = 30;
constexpr std::size_t kRatingLengthAt = 62;  // low byte of the rating's length
constexpr std::size_t kWmvTextAt = 64;
constexpr std::size_t kWmvTextBytes = 128;

bool IsAsciiAlnum(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string_view Slice(std::string_view bytes, std::size_t at, std::size_t count) {
  if (at >= bytes.size()) return {};
  return bytes.substr(at, count);
}

// The text up to the first zero byte.
std::string_view ZeroTerminated(std::string_view bytes) { return bytes.substr(0, bytes.find('\0')); }

std::string UpperAscii(std::string_view text) {
  std::string upper(text);
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  }
  return upper;
}

// UTF-16LE text up to its first zero character (a zero pair at an even
// offset); returns the bytes before it.
std::size_t Utf16Length(std::string_view bytes) {
  for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
    if (bytes[i] == '\0' && bytes[i + 1] == '\0') return i;
  }
  return bytes.size() & ~std::size_t{1};
}

void ReadAviCodec(std::string_view head, const CodecLookup& lookup, MediaInfo& info) {
  std::string_view code = Slice(head, kAviFormatCode, kAviCodeBytes);
  if (code.empty()) return;  // too short to hold a stream format
  if (IsAsciiAlnum(static_cast<unsigned char>(code[0]))) code = Slice(head, kAviHandlerCode, kAviCodeBytes);
  const std::string text = TextToUtf8(ZeroTerminated(code));
  const std::string defaultText = text + "(ID値)";
  SetInfoText(info.Codec, lookup("AVI", UpperAscii(text), defaultText));
}

void ReadAviInfo(std::string_view tail, MediaInfo& info) {
  for (std::size_t at = 0; at <= kInfoScanEnd && at + 8 < tail.size(); ++at) {
    if (tail.substr(at, 4) != "LIST" || tail[at + 8] != 'I') continue;
    const std::string_view title = ZeroTerminated(Slice(tail, at + kInfoTitleAt, tail.size()));
    SetInfoText(info.Title, TextToUtf8(title));
    for (std::size_t i = at + title.size() + kInfoArtistSkip; i <= kInfoArtistEnd && i < tail.size(); ++i) {
      if (tail[i] == '\0') continue;
      SetInfoText(info.Artist, TextToUtf8(ZeroTerminated(tail.substr(i))));
      break;
    }
  }
}

}  // namespace

void ReadAviHeader(std::string_view head, std::string_view tail, const CodecLookup& lookup, MediaInfo& info) {
  ReadAviCodec(head, lookup, info);
  ReadAviInfo(tail, info);
}

void ReadWmvHeader(std::string_view head, MediaInfo& info) {
  // Only a content description right after the header object: at these
  // places any other object would give bytes that are not text.
  if (head.size() <= kRatingLengthAt || Slice(head, kDescriptionAt, 16) != kContentDescription) return;
  if (static_cast<unsigned char>(head[kRatingLengthAt]) >= 3) return;
  const std::string_view titleField = Slice(head, kWmvTextAt, kWmvTextBytes);
  const std::size_t titleBytes = Utf16Length(titleField);
  SetInfoText(info.Title, Utf16LeToUtf8(titleField.substr(0, titleBytes)));
  const std::string_view artistField = Slice(head, kWmvTextAt + titleBytes + 2, kWmvTextBytes);
  SetInfoText(info.Artist, Utf16LeToUtf8(artistField.substr(0, Utf16Length(artistField))));
}

void ReadVideoHeaderFile(const std::string& path, std::string_view extension, MediaInfo& info) {
  const bool avi = EqualsIgnoreCase(extension, "AVI");
  if (!avi && !EqualsIgnoreCase(extension, "WMV")) return;
  std::error_code error;
  if (!std::filesystem::is_regular_file(path, error)) return;  // a FIFO or device could block
  std::ifstream file(path, std::ios::binary);
  if (!file) return;
  std::string head(kVideoHeadBytes, '\0');
  file.read(head.data(), static_cast<std::streamsize>(head.size()));
  head.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
  if (!avi) {
    ReadWmvHeader(head, info);
    return;
  }
  std::string tail;
  file.clear();
  file.seekg(0, std::ios::end);
  const std::streamoff size = file.tellg();
  if (size > 0) {
    const std::streamoff take = std::min<std::streamoff>(size, kAviTailBytes);
    tail.assign(static_cast<std::size_t>(take), '\0');
    file.seekg(size - take);
    file.read(tail.data(), take);
    tail.resize(static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
  }
  ReadAviHeader(head, tail, CodecListText, info);
}

}  // namespace qorve
