// The TwinVQ bitstream reader: the chunk header of the real files, the
// messages of a broken header or a missing "DATA", and frame reading by the
// decoder's fixed bits per frame with skipping.
#include "player/formats/audio/tvq_bitstream.h"

#include "vqf_maker.h"
#include "support/shared_media.h"

#include <gtest/gtest.h>

namespace qorve::test {
namespace {

const std::string kMedia = (SharedMedia() / "vqf").string() + "/";

TEST(TvqBitstreamTest, ReadsTheChunksOfTheTaggedFile) {
  QORVE_NEED_SHARED_MEDIA();
  auto reader = TvqBitstream::Open(kMedia + "atl_vqf.vqf");
  ASSERT_TRUE(reader);
  ASSERT_TRUE(reader->ReadHeader());
  ASSERT_TRUE(reader->BuildChunkIndex());
  EXPECT_EQ(reader->VersionId(), "TWIN97012000");
  EXPECT_EQ(reader->CommChunk(), (std::array<int32_t, 4>{0, 20, 22, 0}));
  EXPECT_EQ(reader->TextChunk("NAME"), "Test !!");
  EXPECT_EQ(reader->TextChunk("AUTH"), "Artist");
  EXPECT_EQ(reader->TextChunk("(c) "), "Alright");
  EXPECT_EQ(reader->TextChunk("COMT"), "this is a comment");
  EXPECT_EQ(reader->IntegerChunk("DSIZ"), 300325);
  EXPECT_EQ(reader->TextChunk("FILE"), std::nullopt);
  EXPECT_EQ(reader->DataBytes(), 300324u);
}

struct Broken {
  const char* name;
  std::string bytes;
  const char* message;
};

class TvqBrokenHeaderTest : public ::testing::TestWithParam<Broken> {};

TEST_P(TvqBrokenHeaderTest, FailsWithItsMessage) {
  auto reader = TvqBitstream::FromBytes(GetParam().bytes);
  ::testing::internal::CaptureStderr();
  EXPECT_FALSE(reader->ReadHeader());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), GetParam().message);
  EXPECT_FALSE(reader->BuildChunkIndex());
}

const char kHeaderMessage[] = "Failed to read header. Check the bitstream file.\n";
const char kDataMessage[] = "TwinVQ format error. No \"DATA\" chunk was found.\n";

INSTANTIATE_TEST_SUITE_P(
    Cases, TvqBrokenHeaderTest,
    ::testing::Values(Broken{"ShorterThanTheHeaderStart", "TWIN9701", kHeaderMessage},
                      Broken{"HeaderSizePastTheEnd", MakeVqf(VqfComm(0, 20, 22), "").substr(0, 30), kHeaderMessage},
                      Broken{"ChunkPastTheHeader", "TWIN97012000" + BigEndian32(12) + "COMM" + BigEndian32(99) + "xxxxDATA", kHeaderMessage},
                      Broken{"NoData", MakeVqf(VqfComm(0, 20, 22), "frames", "DAT!"), kDataMessage},
                      Broken{"EndsBeforeData", MakeVqf(VqfComm(0, 20, 22), "", ""), kDataMessage}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(TvqBitstreamTest, ReadsAndSkipsFramesOfTheFixedBitLength) {
  // 22 kHz, 20 kbit/s mono: 928 bits (116 bytes) a frame. Frame k starts with
  // window type k % 9 in its first 4 bits.
  std::string data;
  for (int k = 0; k < 10; ++k) {
    std::string frame(116, static_cast<char>(k));
    frame[0] = static_cast<char>((k % 9) << 4);
    data += frame;
  }
  data += std::string(50, '\0');  // less than a frame
  auto reader = TvqBitstream::FromBytes(MakeVqf(VqfComm(0, 20, 22), data));
  ASSERT_TRUE(reader->ReadHeader() && reader->BuildChunkIndex());
  TvqHeaderInfo header{};
  header.bitRate = 20;
  header.samplingRate = 22;
  TvqIndex index{};
  ASSERT_EQ(TvqInitialize(&header, &index, 1), 0);
  ASSERT_EQ(reader->InitializeFrameReading(), 0);
  EXPECT_EQ(TvqGetNumFixedBitsPerFrame(), 928);
  ASSERT_TRUE(reader->ReadFrame(index));
  EXPECT_EQ(index.windowType, 0);
  EXPECT_EQ(index.blockType, kTvqBlockLong);
  reader->SkipFrames(1);
  ASSERT_TRUE(reader->ReadFrame(index));
  EXPECT_EQ(index.windowType, 2);  // the short window: eight sub-blocks
  EXPECT_EQ(index.blockType, kTvqBlockShort);
  EXPECT_EQ(index.subBlocks, 8);
  EXPECT_EQ(index.frame[1], 2);
  EXPECT_EQ(reader->FrameCounter(), 3);
  reader->SkipFrames(-2);
  ASSERT_TRUE(reader->ReadFrame(index));
  EXPECT_EQ(index.frame[1], 1);
  reader->SkipFrames(8);  // to frame 10: the partial frame at the end
  EXPECT_FALSE(reader->ReadFrame(index));
  EXPECT_EQ(reader->FrameCounter(), 10);
  TvqTerminate(&index);
}

}  // namespace
}  // namespace qorve::test
