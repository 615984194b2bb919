#include "player/core/media_info_json.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qorve {
namespace {

struct EscapeCase {
  const char* name;
  std::string text;
  std::string json;
};

class JsonStringOf : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(JsonStringOf, IsAValidJsonLiteral) { EXPECT_EQ(JsonString(GetParam().text), GetParam().json); }

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonStringOf,
    ::testing::Values(EscapeCase{"Plain", "abc", "\"abc\""}, EscapeCase{"Quote", "say \"hi\"", "\"say \\\"hi\\\"\""},
                      EscapeCase{"Backslash", "C:\\music", "\"C:\\\\music\""},
                      EscapeCase{"LineFeedAndTab", "a\nb\tc", "\"a\\u000ab\\u0009c\""},
                      EscapeCase{"OtherControl", "\x01\x1f", "\"\\u0001\\u001f\""},
                      EscapeCase{"JapaneseKept", "題名", "\"題名\""}, EscapeCase{"DeleteKept", "\x7f", "\"\x7f\""},
                      EscapeCase{"ShiftJisDecoded", "\x83\x5e\x83\x43\x83\x67\x83\x8b", "\"タイトル\""}),
    [](const auto& info) { return std::string(info.param.name); });

MediaInfo SoundInfo() {
  MediaInfo info;
  std::memset(&info, 0, sizeof info);
  info.Kind = kKindSound;
  SetInfoText(info.Format, "OGG");
  SetInfoText(info.FileName, "a \"b\".ogg");
  SetInfoText(info.Title, "曲");
  info.Length = 61.5;
  info.Width = -1;
  info.Track = 3;
  info.SampleRate = 44100;
  info.Channels = 2;
  info.Bits = 16;
  info.Bitrate = 128;
  return info;
}

TEST(MediaInfoJson, SoundHasEveryFieldAndNoErrorText) {
  EXPECT_EQ(MediaInfoJson(0, SoundInfo(), "ignored"),
            "{\"result\":0,\"kind\":1,\"format\":\"OGG\",\"fileName\":\"a \\\"b\\\".ogg\",\"title\":\"曲\","
            "\"artist\":\"\",\"album\":\"\",\"codec\":\"\",\"genre\":\"\",\"length\":61.5,\"width\":-1,"
            "\"height\":0,\"track\":3,\"sampleRate\":44100,\"channels\":2,\"bits\":16,\"bitrate\":128}");
}

TEST(MediaInfoJson, UnplayableCarriesErrorTextAndCode) {
  MediaInfo info;
  std::memset(&info, 0, sizeof info);
  SetInfoText(info.Codec, "Adobe Acrobat Reader");
  const std::string json = MediaInfoJson(14, info, "File breaks. \n");
  EXPECT_TRUE(json.starts_with("{\"result\":14,\"kind\":0,")) << json;
  EXPECT_TRUE(json.ends_with(",\"bitrate\":0,\"errorText\":\"File breaks. \\u000a\"}")) << json;
  EXPECT_NE(json.find("\"codec\":\"Adobe Acrobat Reader\""), std::string::npos);
}

TEST(MediaInfoJson, UnterminatedFieldAndOddLengthStayValid) {
  MediaInfo info = SoundInfo();
  std::memset(info.Format, 'W', sizeof info.Format);  // no terminator
  info.Length = 0.0 / 0.0;
  const std::string json = MediaInfoJson(0, info, "");
  EXPECT_NE(json.find("\"format\":\"WWWWWWWWWW\","), std::string::npos) << json;
  EXPECT_NE(json.find("\"length\":0,"), std::string::npos) << json;
}

}  // namespace
}  // namespace qorve
