// The tag readers over bytes: hand-written tags for the rules at the edges,
// files made by sox, lame and ffmpeg for what real writers produce.
#include "player/formats/tags/tag_readers.h"

#include "platform/system/text.h"
#include "player/formats/media_tools.h"
#include "player/formats/tags/tag_files.h"
#include "support/temp_home.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace qorve {
namespace {

using test::Be32;
using test::Le16;
using test::Le32;

MediaInfo Empty() {
  MediaInfo info;
  std::memset(&info, 0, sizeof info);
  return info;
}

// ---- MIDI title ---------------------------------------------------------

std::string MidiWithFirstEvents(const std::string& events) {
  return "MThd" + Be32(6) + std::string("\0\0\0\1\1\xE0", 6) + "MTrk" + Be32(static_cast<uint32_t>(events.size())) +
         events;
}

struct MidiCase {
  const char* name;
  std::string events;
  std::string title;
};

class MidiTitle : public testing::TestWithParam<MidiCase> {};

TEST_P(MidiTitle, ShowsTheFirstTrackNameWhenItBeginsWithAPrintableLetter) {
  MediaInfo info = Empty();
  std::strcpy(info.Title, "earlier");
  ReadMidiTitle(MidiWithFirstEvents(GetParam().events), info);
  EXPECT_EQ(info.Title, GetParam().title);
}

INSTANTIATE_TEST_SUITE_P(
    Events, MidiTitle,
    testing::Values(
        MidiCase{"LatinName", std::string("\0\xFF\x03\x04Song\0\xFF\x2F\0", 12), "Song"},
        // The next event's delta time is not zero: the length ends the name.
        MidiCase{"NameFollowedByADelay", std::string("\0\xFF\x03\x04Song\x83\x60\x90\x3C\x64", 13), "Song"},
        MidiCase{"ZeroInsideTheName", std::string("\0\xFF\x03\x05" "Ab\0cd", 9), "Ab"},
        MidiCase{"LatinThenShiftJis", std::string("\0\xFF\x03\x05" "A\x82\xA0\x82\xA2", 9), "Aあい"},
        MidiCase{"DoubleByteFirst", std::string("\0\xFF\x03\x04\x89\xB9\x8A\x79", 8), ""},
        MidiCase{"ControlByteFirst", std::string("\0\xFF\x03\x03\x01" "ab", 7), ""}),
    [](const auto& info) { return info.param.name; });

TEST(MidiTitleLayout, FileWithoutANameEventKeepsTheField) {
  MediaInfo info = Empty();
  std::strcpy(info.Title, "kept");
  ReadMidiTitle(MidiWithFirstEvents(std::string("\0\xFF\x51\x03\x07\xA1\x20", 7) + std::string(40, 'x')), info);
  EXPECT_STREQ(info.Title, "kept");
  ReadMidiTitle("MThd", info);
  EXPECT_STREQ(info.Title, "kept");
}

// ---- RIFF WAVE ----------------------------------------------------------

std::string Chunk(const std::string& id, const std::string& body) {
  std::string chunk = id + Le32(static_cast<uint32_t>(body.size())) + body;
  if (body.size() & 1) chunk += '\0';
  return chunk;
}

std::string FormatChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
  return Chunk("fmt ", Le16(tag) + Le16(channels) + Le32(rate) + Le32(rate * channels * bits / 8) +
                           Le16(channels * bits / 8) + Le16(bits));
}

std::string Riff(const std::string& chunks) { return "RIFF" + Le32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks; }

std::string InfoList(const std::string& title, const std::string& artist) {
  return Chunk("LIST", "INFO" + Chunk("INAM", title + std::string(1, '\0')) + Chunk("IART", artist + std::string(1, '\0')));
}

std::string Tail(const std::string& bytes) { return bytes.substr(bytes.size() > 128 ? bytes.size() - 128 : 0); }

CodecLookup ListWith(std::string key, std::string name) {
  return [key, name](std::string_view section, std::string_view k, std::string_view defaultText) {
    return section == "WAV" && k == key ? name : std::string(defaultText);
  };
}

TEST(RiffWave, FormatFieldsInfoTextAndCodecFromTheList) {
  const std::string file = Riff(FormatChunk(1, 2, 44100, 16) + Chunk("data", std::string(400, '\0')) +
                                InfoList("夏の歌", "Artist"));
  MediaInfo info = Empty();
  ReadRiffWave(file, Tail(file), ListWith("0x0001", "PCM"), info);
  EXPECT_EQ(info.Channels, 2);
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Bits, 16);
  EXPECT_STREQ(info.Title, "夏の歌");
  EXPECT_STREQ(info.Artist, "Artist");
  EXPECT_STREQ(info.Codec, "PCM");
}

TEST(RiffWave, FormatTagMissingFromTheListShowsItsKey) {
  const std::string file = Riff(FormatChunk(0x55, 1, 22050, 0) + Chunk("data", std::string(10, '\0')));
  MediaInfo info = Empty();
  ReadRiffWave(file, Tail(file), ListWith("0x0001", "PCM"), info);
  EXPECT_STREQ(info.Codec, "0x0055(ID値)");
}

TEST(RiffWave, InfoListBeforeTheLast128BytesIsNotFound) {
  const std::string file =
      Riff(FormatChunk(1, 1, 8000, 8) + InfoList("Title", "Artist") + Chunk("data", std::string(300, '\x80')));
  MediaInfo info = Empty();
  ReadRiffWave(file, Tail(file), ListWith("0x0001", "PCM"), info);
  EXPECT_STREQ(info.Title, "");
  EXPECT_STREQ(info.Artist, "");
  EXPECT_EQ(info.SampleRate, 8000);
}

TEST(RiffWave, FormatChunkAfterAnotherChunkIsFound) {
  const std::string file =
      Riff(Chunk("JUNK", std::string(27, 'j')) + FormatChunk(3, 6, 96000, 32) + Chunk("data", "abcd"));
  MediaInfo info = Empty();
  ReadRiffWave(file, Tail(file), ListWith("0x0003", "IEEE Float"), info);
  EXPECT_EQ(info.Channels, 6);
  EXPECT_EQ(info.SampleRate, 96000);
  EXPECT_EQ(info.Bits, 32);
  EXPECT_STREQ(info.Codec, "IEEE Float");
}

// The big-endian form: every chunk size and format field is read big-endian.
TEST(RiffWave, RifxFileGivesItsFieldsReadBigEndian) {
  const auto be16 = [](uint16_t value) { return std::string{static_cast<char>(value >> 8), static_cast<char>(value)}; };
  const auto chunk = [](const std::string& id, const std::string& body) {
    return id + Be32(static_cast<uint32_t>(body.size())) + body;
  };
  const std::string fmt = chunk("fmt ", be16(1) + be16(2) + Be32(44100) + Be32(44100 * 6) + be16(6) + be16(24));
  const std::string chunks = chunk("JUNK", std::string(6, 'j')) + fmt + chunk("data", std::string(60, '\0'));
  const std::string file = "RIFX" + Be32(static_cast<uint32_t>(chunks.size() + 4)) + "WAVE" + chunks;
  MediaInfo info = Empty();
  ReadRiffWave(file, Tail(file), ListWith("0x0001", "PCM"), info);
  EXPECT_EQ(info.Channels, 2);
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Bits, 24);
  EXPECT_STREQ(info.Codec, "PCM");
}

TEST(RiffWave, BytesThatAreNotAWaveFileLeaveTheFormatFields) {
  MediaInfo info = Empty();
  ReadRiffWave(std::string(100, 'z'), std::string(100, 'z'), ListWith("0x0001", "PCM"), info);
  EXPECT_EQ(info.SampleRate, 0);
  EXPECT_STREQ(info.Codec, "");
}

// ---- ASF ----------------------------------------------------------------

const std::string kHeaderGuid("\x30\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);
const std::string kDescriptionGuid("\x33\x26\xB2\x75\x8E\x66\xCF\x11\xA6\xD9\x00\xAA\x00\x62\xCE\x6C", 16);

std::string AsfObject(const std::string& guid, const std::string& body) {
  return guid + Le32(static_cast<uint32_t>(body.size() + 24)) + Le32(0) + body;
}

std::string Utf16z(const std::string& text) { return Utf8ToUtf16Le(text) + std::string(2, '\0'); }

std::string AsfHeader(const std::string& objects, uint32_t count) {
  return kHeaderGuid + Le32(static_cast<uint32_t>(objects.size() + 30)) + Le32(0) + Le32(count) + "\x01\x02" + objects;
}

TEST(Asf, TitleAndAuthorOfTheDescriptionWhereverItLies) {
  const std::string title = Utf16z("タイトル"), author = Utf16z("Author");
  const std::string description = AsfObject(
      kDescriptionGuid, Le16(static_cast<uint32_t>(title.size())) + Le16(static_cast<uint32_t>(author.size())) +
                            Le16(0) + Le16(0) + Le16(0) + title + author);
  const std::string other = AsfObject(std::string(16, '\x11'), std::string(80, '\0'));
  for (const std::string& file : {AsfHeader(description, 1), AsfHeader(other + description, 2)}) {
    MediaInfo info = Empty();
    ReadAsfTags(file, info);
    EXPECT_STREQ(info.Title, "タイトル");
    EXPECT_STREQ(info.Artist, "Author");
  }
}

TEST(Asf, DescriptionLengthsBeyondItsObjectAreIgnored) {
  const std::string title = Utf16z("T");
  const std::string description =
      AsfObject(kDescriptionGuid, Le16(2000) + Le16(0) + Le16(0) + Le16(0) + Le16(0) + title);
  MediaInfo info = Empty();
  ReadAsfTags(AsfHeader(description, 1), info);
  EXPECT_STREQ(info.Title, "");
}

// ---- ID3 ----------------------------------------------------------------

std::string Id3v1(const std::string& title, const std::string& artist, unsigned char genre) {
  std::string tag = "TAG" + title + std::string(30 - title.size(), '\0') + artist +
                    std::string(30 - artist.size(), '\0') + std::string(64, '\0');
  tag += static_cast<char>(genre);
  return tag;
}

struct Id3v1Case {
  const char* name;
  std::string title;
  unsigned char genre;
  std::string shownTitle;
  std::string shownGenre;
};

class Id3v1Tag : public testing::TestWithParam<Id3v1Case> {};

TEST_P(Id3v1Tag, PaddingRemovedAndGenreFromTheTable) {
  MediaInfo info = Empty();
  ReadId3(std::string(10, '\xFF'), Id3v1(GetParam().title, "Singer  ", GetParam().genre), info);
  EXPECT_EQ(info.Title, GetParam().shownTitle);
  EXPECT_STREQ(info.Artist, "Singer");
  EXPECT_EQ(info.Genre, GetParam().shownGenre);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, Id3v1Tag,
    testing::Values(Id3v1Case{"Genre17", "Title", 17, "Title", "ロック"},
                    Id3v1Case{"Genre0", "Title", 0, "Title", "ブルース"},
                    Id3v1Case{"Genre79", "Title", 79, "Title", "ハードロック"},
                    Id3v1Case{"Genre80", "Title", 80, "Title", ""},
                    Id3v1Case{"Genre255", "Title", 255, "Title", ""},
                    Id3v1Case{"SpacePadding", "Title      ", 12, "Title", "その他"},
                    Id3v1Case{"FFPadding", "Title \xFF\xFF\xFF", 12, "Title", "その他"},
                    Id3v1Case{"FullThirtyBytes", std::string(30, 'x'), 12, std::string(30, 'x'), "その他"},
                    Id3v1Case{"ShiftJis", "\x89\xCC", 12, "歌", "その他"}),
    [](const auto& info) { return info.param.name; });

// An ID3v2 tag of the given major version holding the frames given.
std::string Id3v2(int version, const std::string& frames) {
  const uint32_t size = static_cast<uint32_t>(frames.size());
  std::string header = "ID3";
  header += static_cast<char>(version);
  header += '\0';
  header += '\0';
  for (int shift : {21, 14, 7, 0}) header += static_cast<char>((size >> shift) & 0x7F);
  return header + frames;
}

std::string Frame(const std::string& id, const std::string& body) {
  return id + Be32(static_cast<uint32_t>(body.size())) + std::string(2, '\0') + body;
}

struct EncodingCase {
  const char* name;
  std::string body;  // encoding byte and text
};

class Id3v2Encoding : public testing::TestWithParam<EncodingCase> {};

TEST_P(Id3v2Encoding, TitleShownAsText) {
  MediaInfo info = Empty();
  ReadId3(Id3v2(3, Frame("TIT2", GetParam().body) + Frame("TPE1", std::string("\0Band  ", 7))), "", info);
  EXPECT_STREQ(info.Title, "日本 Song");
  EXPECT_STREQ(info.Artist, "Band");
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, Id3v2Encoding,
    testing::Values(EncodingCase{"Cp932", std::string("\0\x93\xFA\x96\x7B Song", 10)},
                    EncodingCase{"Utf16LittleEndianWithMark", "\x01\xFF\xFE" + Utf16z("日本 Song")},
                    EncodingCase{"Utf16BigEndianMark",
                                 std::string("\x01\xFE\xFF\x65\xE5\x67\x2C\0 \0S\0o\0n\0g\0\0", 20)},
                    EncodingCase{"Utf16BigEndian", std::string("\x02\x65\xE5\x67\x2C\0 \0S\0o\0n\0g", 15)},
                    EncodingCase{"Utf8", "\x03日本 Song"}),
    [](const auto& info) { return info.param.name; });

TEST(Id3v2Tag, GenreReferenceStaysAsWrittenAndAlbumIsRead) {
  MediaInfo info = Empty();
  ReadId3(Id3v2(3, Frame("TCON", std::string("\0(17)Rock", 10)) + Frame("TALB", std::string("\0Album", 6))),
          Id3v1("v1", "v1", 17), info);
  EXPECT_STREQ(info.Genre, "(17)");
  EXPECT_STREQ(info.Album, "Album");
  EXPECT_STREQ(info.Title, "");  // the ID3v1 tag is not read when there is an ID3v2 tag
}

TEST(Id3v2Tag, FramesLongerThan255BytesAreReadWhole) {
  const std::string title(300, 't');
  MediaInfo info = Empty();
  ReadId3(Id3v2(4, Frame("TIT2", std::string(1, '\0') + title)), "", info);
  EXPECT_EQ(std::string(info.Title), title.substr(0, 127));
}

TEST(Id3v2Tag, TagCutShortKeepsWhatIsThere) {
  std::string tag = Id3v2(3, Frame("TIT2", std::string("\0Complete title", 15)));
  tag.resize(tag.size() - 6);
  MediaInfo info = Empty();
  ReadId3(tag, "", info);
  EXPECT_STREQ(info.Title, "Complete");
}

TEST(Id3Tag, SizeOfTheWholeTagIncludesItsFooter) {
  std::string tag = Id3v2(4, std::string(200, '\0'));
  EXPECT_EQ(Id3v2TagBytes(tag), 210u);
  tag[5] = 0x10;
  EXPECT_EQ(Id3v2TagBytes(tag), 220u);
  EXPECT_EQ(Id3v2TagBytes("TAG"), 0u);
}

// ---- MPEG frame header --------------------------------------------------

std::string MpegFrame(uint16_t sync, uint16_t word, std::size_t bytes) {
  std::string frame = {static_cast<char>(sync >> 8), static_cast<char>(sync), static_cast<char>(word >> 8),
                       static_cast<char>(word)};
  return frame + std::string(bytes - 4, '\0');
}

struct HeaderCase {
  const char* name;
  std::string bytes;
  int sampleRate;
  int bitrate;
};

class MpegHeader : public testing::TestWithParam<HeaderCase> {};

TEST_P(MpegHeader, RateStoredOnlyForAWholeMpeg1LayerIIIFrame) {
  MediaInfo info = Empty();
  ReadMpegFrameHeader(GetParam().bytes, info);
  EXPECT_EQ(info.SampleRate, GetParam().sampleRate);
  EXPECT_EQ(info.Bitrate, GetParam().bitrate);
}

INSTANTIATE_TEST_SUITE_P(
    Frames, MpegHeader,
    testing::Values(HeaderCase{"Layer3At128k44k", MpegFrame(0xFFFB, 0x9000, 417), 44100, 128},
                    HeaderCase{"Layer3At320k48kPadded", MpegFrame(0xFFFB, 0xE600, 961), 48000, 320},
                    HeaderCase{"AfterJunk", std::string(4000, 'j') + MpegFrame(0xFFFB, 0x9000, 417), 44100, 128},
                    HeaderCase{"BeyondTheSearchWindow", std::string(4200, 'j') + MpegFrame(0xFFFB, 0x9000, 417), 0, 0},
                    HeaderCase{"FrameCutShort", MpegFrame(0xFFFB, 0x9000, 300), 0, 0},
                    HeaderCase{"Mpeg2", MpegFrame(0xFFF3, 0x9000, 417), 0, 0},
                    HeaderCase{"Layer2", MpegFrame(0xFFFD, 0x9000, 417), 0, 0},
                    HeaderCase{"FreeBitRate", MpegFrame(0xFFFB, 0x0000, 417), 0, 0},
                    HeaderCase{"ReservedEmphasis", MpegFrame(0xFFFB, 0x9002, 417), 0, 0}),
    [](const auto& info) { return info.param.name; });

// ---- Files written by real tools ------------------------------------------

class TagFiles : public test::TempHome {
 protected:
  void SetUp() override {
    TempHome::SetUp();
    if (!test::HaveTool("sox") || !test::HaveTool("lame") || !test::HaveTool("ffmpeg")) {
      GTEST_SKIP() << "sox, lame and ffmpeg make these files";
    }
    wav_ = root() / "tone.wav";
    ASSERT_TRUE(test::RunQuietly("sox -n -r 44100 -c 2 -b 16 " + test::Quote(wav_) + " synth 1 sine 440"));
  }
  MediaInfo Read(const std::filesystem::path& path, const std::string& extension) {
    MediaInfo info = Empty();
    ReadTagsForExtension(path.string(), extension, info);
    return info;
  }
  std::filesystem::path wav_;
};

TEST_F(TagFiles, LameMp3WithId3v2AndId3v1) {
  const auto mp3 = root() / "song.mp3";
  ASSERT_TRUE(test::RunQuietly("lame --quiet -b 128 --tt Title --ta Artist --tl Album --tg Rock --add-id3v2 " +
                               test::Quote(wav_) + " " + test::Quote(mp3)));
  const MediaInfo info = Read(mp3, "MP3");
  EXPECT_STREQ(info.Title, "Title");
  EXPECT_STREQ(info.Artist, "Artist");
  EXPECT_STREQ(info.Album, "Album");
  EXPECT_STREQ(info.Genre, "Rock");
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Bitrate, 128);
}

TEST_F(TagFiles, LameMp3WithId3v1OnlyShowsTheGenreName) {
  const auto mp3 = root() / "v1.mp3";
  ASSERT_TRUE(test::RunQuietly("lame --quiet -b 128 --tt Title --ta Artist --tg 17 --id3v1-only " +
                               test::Quote(wav_) + " " + test::Quote(mp3)));
  const MediaInfo info = Read(mp3, "MP3");
  EXPECT_STREQ(info.Title, "Title");
  EXPECT_STREQ(info.Genre, "ロック");
}

TEST_F(TagFiles, Mp3WithoutTagsStillGetsRates) {
  const auto mp3 = root() / "plain.mp3";
  ASSERT_TRUE(test::RunQuietly("lame --quiet -b 128 -t " + test::Quote(wav_) + " " + test::Quote(mp3)));
  const MediaInfo info = Read(mp3, "MP3");
  EXPECT_STREQ(info.Title, "");
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Bitrate, 128);
}

TEST_F(TagFiles, Mp3BehindALargeId3v2TagStillGetsRates) {
  const auto plain = root() / "plain.mp3";
  ASSERT_TRUE(test::RunQuietly("lame --quiet -b 128 -t " + test::Quote(wav_) + " " + test::Quote(plain)));
  const auto tagged = root() / "tagged.mp3";
  test::PutBytes(tagged, Id3v2(3, Frame("TIT2", std::string("\0Big", 4)) + Frame("PRIV", std::string(10000, '\xFF'))) +
                             test::Bytes(plain));
  const MediaInfo info = Read(tagged, "MP3");
  EXPECT_STREQ(info.Title, "Big");
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Bitrate, 128);
}

TEST_F(TagFiles, Mpeg2AndLayerIIFilesGetNoRates) {
  const auto mpeg2 = root() / "mpeg2.mp3";
  ASSERT_TRUE(test::RunQuietly("lame --quiet -b 64 --resample 22.05 -t " + test::Quote(wav_) + " " +
                               test::Quote(mpeg2)));
  const auto layer2 = root() / "layer2.mp3";
  ASSERT_TRUE(test::RunQuietly("ffmpeg -nostdin -y -i " + test::Quote(wav_) + " -c:a mp2 -b:a 128k -f mp2 " +
                               test::Quote(layer2)));
  for (const auto& file : {mpeg2, layer2}) {
    const MediaInfo info = Read(file, "MP3");
    EXPECT_EQ(info.SampleRate, 0) << file;
    EXPECT_EQ(info.Bitrate, 0) << file;
  }
}

TEST_F(TagFiles, SoxWaveWithTheShippedCodecList) {
  test::WriteFile(settingsFolder() / "Codec", "[WAV]\n0x0001=Linear PCM\n");
  const MediaInfo info = Read(wav_, "WAV");
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Channels, 2);
  EXPECT_EQ(info.Bits, 16);
  EXPECT_STREQ(info.Codec, "Linear PCM");
}

TEST_F(TagFiles, SoxBigEndianWaveGivesItsFormat) {
  const auto rifx = root() / "rifx.wav";
  ASSERT_TRUE(test::RunQuietly("sox " + test::Quote(wav_) + " -B -b 24 " + test::Quote(rifx)));
  ASSERT_EQ(test::Bytes(rifx).substr(0, 4), "RIFX");
  const MediaInfo info = Read(rifx, "WAV");
  EXPECT_EQ(info.SampleRate, 44100);
  EXPECT_EQ(info.Channels, 2);
  EXPECT_EQ(info.Bits, 24);
}

TEST_F(TagFiles, FfmpegWmaTitleAndAuthor) {
  const auto wma = root() / "song.wma";
  ASSERT_TRUE(test::RunQuietly("ffmpeg -nostdin -y -i " + test::Quote(wav_) +
                               " -c:a wmav2 -metadata title=曲名 -metadata author=歌手 " + test::Quote(wma)));
  const MediaInfo info = Read(wma, "WMA");
  EXPECT_STREQ(info.Title, "曲名");
  EXPECT_STREQ(info.Artist, "歌手");
}

TEST_F(TagFiles, MissingFileLeavesEveryField) {
  const MediaInfo info = Read(root() / "gone.mp3", "MP3");
  EXPECT_STREQ(info.Title, "");
  EXPECT_EQ(info.SampleRate, 0);
}

}  // namespace
}  // namespace qorve
