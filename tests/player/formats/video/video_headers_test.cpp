// The AVI and WMV header readers: codec codes by the stream format or handler,
// the codec list or the "(ID値)" default, INFO text from the file's end, and
// WMV text only where a content description follows the header object.
#include "player/formats/video/video_headers.h"

#include "player/formats/media_maker.h"
#include "player/formats/media_tools.h"
#include "support/shared_media.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstring>

namespace qorve {
namespace {

using test::Le16;
using test::Le32;

std::string KnownCodecs(std::string_view section, std::string_view key, std::string_view defaultText) {
  if (section == "AVI" && key == "XVID") return "Xvid";
  if (section == "AVI" && key == "MP42") return "Microsoft MPEG-4 v2";
  return std::string(defaultText);
}

// An AVI head with `handler` at the stream header and `format` at the
// stream format, as one main and one stream header place them.
std::string AviHead(std::string_view handler, std::string_view format) {
  std::string head(kVideoHeadBytes, '\0');
  head.replace(0, 12, "RIFF\0\0\0\0AVI ", 12);
  head.replace(112, handler.size(), handler);
  head.replace(188, format.size(), format);
  return head;
}

// The last 64 bytes of an AVI file ending in a LIST INFO chunk.
std::string InfoTail(const std::string& title, const std::string& artist) {
  std::string list = "LIST" + Le32(0) + "INFO" + "INAM" + Le32(static_cast<uint32_t>(title.size() + 1)) + title +
                     std::string(1, '\0') + "IART" + Le32(static_cast<uint32_t>(artist.size() + 1)) + artist +
                     std::string(1, '\0');
  return std::string(kAviTailBytes - list.size(), '\0') + list;
}

MediaInfo Blank() {
  MediaInfo info;
  std::memset(&info, 0, sizeof info);
  return info;
}

struct CodecCase {
  const char* name;
  std::string handler;
  std::string format;
  const char* codec;
};

class AviCodec : public testing::TestWithParam<CodecCase> {};

TEST_P(AviCodec, ComesFromTheListOrTheDefault) {
  MediaInfo info = Blank();
  ReadAviHeader(AviHead(GetParam().handler, GetParam().format), "", KnownCodecs, info);
  EXPECT_STREQ(info.Codec, GetParam().codec);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, AviCodec,
    testing::Values(
        // A format code that starts with a letter or digit sends the look to the handler.
        CodecCase{"HandlerWhenFormatIsText", "xvid", "XVID", "Xvid"},
        CodecCase{"HandlerUpperCasedForTheList", "mp42", "MP42", "Microsoft MPEG-4 v2"},
        // Otherwise the format code as it stands (here a binary one, BI_RGB).
        CodecCase{"FormatWhenNotText", "DIB ", std::string(4, '\0'), "(ID値)"},
        CodecCase{"UnknownShownAsRead", "abcd", "1bcd", "abcd(ID値)"},
        CodecCase{"CutToFourCharacters", "wxyz", "Wxyzq", "wxyz(ID値)"}),
    [](const testing::TestParamInfo<CodecCase>& info) { return std::string(info.param.name); });

TEST(AviHeader, InfoTextAtTheEndGivesTitleAndArtist) {
  MediaInfo info = Blank();
  ReadAviHeader(AviHead("xvid", "XVID"), InfoTail("Sunrise", "Ayumi"), KnownCodecs, info);
  EXPECT_STREQ(info.Title, "Sunrise");
  EXPECT_STREQ(info.Artist, "Ayumi");
  // Shift-JIS text is shown as text.
  info = Blank();
  ReadAviHeader("", InfoTail("\x93\xFA\x96\x7B", "x"), KnownCodecs, info);
  EXPECT_STREQ(info.Title, "日本");
  EXPECT_STREQ(info.Codec, "");  // too short for a stream format: no codec
}

TEST(AviHeader, TitleRunningToTheEndStaysInsideTheTail) {
  MediaInfo info = Blank();
  std::string tail(kAviTailBytes, 'x');
  tail.replace(40, 9, "LIST\0\0\0\0I", 9);
  ReadAviHeader("", tail, KnownCodecs, info);
  EXPECT_STREQ(info.Title, "xxxx");  // bytes 60 to 63, no terminator
}

std::string Utf16(std::string_view ascii) {
  std::string out;
  for (char c : ascii) out += std::string{c, '\0'};
  return out + std::string(2, '\0');
}

std::string WmvHead(const std::string& secondObject) {
  const std::string header = std::string("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16) +
                             std::string("\x90\x01\0\0\0\0\0\0", 8) + Le32(3) + "\x01\x02";
  return header + secondObject;
}

std::string ContentDescription(const std::string& title, const std::string& author) {
  const std::string id("\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
  return id + Le32(static_cast<uint32_t>(34 + title.size() + author.size())) + Le32(0) +
         Le16(static_cast<uint32_t>(title.size())) + Le16(static_cast<uint32_t>(author.size())) + Le16(0) + Le16(0) +
         Le16(0) + title + author;
}

TEST(WmvHeader, DescriptionFirstGivesTitleAndAuthor) {
  MediaInfo info = Blank();
  ReadWmvHeader(WmvHead(ContentDescription(Utf16("Movie"), Utf16("Studio"))), info);
  EXPECT_STREQ(info.Title, "Movie");
  EXPECT_STREQ(info.Artist, "Studio");
}

TEST(WmvHeader, AnyOtherObjectFirstGivesNothing) {
  // The file properties object first (as ffmpeg writes it): its bytes at the
  // description's places are no text.
  std::string properties = ContentDescription(Utf16("Movie"), Utf16("Studio"));
  properties[0] = '\xA1';
  MediaInfo info = Blank();
  ReadWmvHeader(WmvHead(properties), info);
  EXPECT_STREQ(info.Title, "");
  EXPECT_STREQ(info.Artist, "");
}

class VideoHeaderFiles : public test::TempHome {};

TEST_F(VideoHeaderFiles, FfmpegFilesAndTheSharedOnes) {
  if (!test::HaveTool("ffmpeg")) GTEST_SKIP() << "ffmpeg is not installed";
  struct Made {
    const char* file;
    const char* codec;
    const char* extension;
    const char* expected;
  };
  for (const Made& made : {Made{"a.avi", "mpeg4", "AVI", "FFmpeg MPEG-4"},
                           Made{"b.avi", "msmpeg4v2", "AVI", "Microsoft MPEG-4 v2"},
                           Made{"c.avi", "msmpeg4", "AVI", "Microsoft MPEG-4 v3"}}) {
    const auto path = root() / made.file;
    ASSERT_TRUE(test::RunQuietly("ffmpeg -y -f lavfi -i testsrc=size=64x48:rate=5:duration=0.4 -c:v " +
                                 std::string(made.codec) + " " + test::Quote(path)));
    MediaInfo info = Blank();
    ReadVideoHeaderFile(path.string(), made.extension, info);
    EXPECT_STREQ(info.Codec, made.expected) << made.file;
  }
  MediaInfo info = Blank();
  ReadVideoHeaderFile((root() / "missing.avi").string(), "AVI", info);
  EXPECT_STREQ(info.Codec, "");
  QORVE_NEED_SHARED_MEDIA();
  info = Blank();
  ReadVideoHeaderFile((test::SharedMedia() / "avi/filetype_msmpeg4v2_adpcm.avi").string(), "AVI", info);
  EXPECT_STREQ(info.Codec, "Microsoft MPEG-4 v2");
  info = Blank();
  ReadVideoHeaderFile((test::SharedMedia() / "wmv/filetype_wmv2.wmv").string(), "WMV", info);
  EXPECT_STREQ(info.Title, "");  // file properties first
}

}  // namespace
}  // namespace qorve
