// The Monkey's Audio decoder over files made here: every block handed out and
// found again by seeking, a damaged frame played as silence of its own length,
// and headers whose forged sizes are refused before anything is sized by them.
#include "ape_decompress.h"
#include "ape_header.h"
#include "ape_maker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

namespace qorve::test {
namespace {

struct Decoded {
  std::vector<char> pcm;
  bool damaged = false;  // some GetData call reported an undecodable frame
};

// Everything from the current position to the end, `chunk` blocks a call.
Decoded ReadToEnd(IAPEDecompress& decoder, int chunk) {
  const auto align = static_cast<std::size_t>(decoder.GetInfo(APE_INFO_BLOCK_ALIGN));
  Decoded out;
  std::vector<char> buffer(chunk * align);
  for (;;) {
    int retrieved = -1;
    if (decoder.GetData(buffer.data(), chunk, &retrieved) != ERROR_SUCCESS) out.damaged = true;
    out.pcm.insert(out.pcm.end(), buffer.begin(), buffer.begin() + retrieved * static_cast<long>(align));
    if (retrieved < chunk) return out;
  }
}

// The decoder reads `bytes` where they lie: they must outlive it.
std::unique_ptr<IAPEDecompress> Open(const std::string& bytes, int* error = nullptr) {
  return std::unique_ptr<IAPEDecompress>(CreateIAPEDecompressFromMemory(bytes, error));
}
std::unique_ptr<IAPEDecompress> Open(const std::string&& bytes, int* error = nullptr) = delete;

class ApeDecompressFormats : public ::testing::TestWithParam<ApeLayout> {};

TEST_P(ApeDecompressFormats, HandsOutEveryBlockAndSeeksToAnyBlock) {
  const ApeLayout layout = GetParam();
  const std::string file = MakeSilentApe(layout);
  const auto decoder = Open(file);
  ASSERT_TRUE(decoder);
  const uint64_t total = uint64_t{layout.frames - 1} * layout.blocksPerFrame + layout.finalFrameBlocks;
  const std::size_t align = layout.channels * (layout.bits / 8u);
  const char silence = layout.bits == 8 ? '\x80' : '\0';
  EXPECT_EQ(decoder->GetInfo(APE_DECOMPRESS_TOTAL_BLOCKS), static_cast<intptr_t>(total));
  EXPECT_EQ(decoder->GetInfo(APE_INFO_LENGTH_MS), static_cast<intptr_t>(total * 1000 / layout.sampleRate));

  Decoded all = ReadToEnd(*decoder, 1000);
  EXPECT_FALSE(all.damaged);
  EXPECT_EQ(all.pcm.size(), total * align);
  EXPECT_EQ(std::count(all.pcm.begin(), all.pcm.end(), silence), static_cast<long>(all.pcm.size()));

  // Inside the second frame, at a frame's start, at the end, beyond it.
  for (const uint64_t block : {uint64_t{layout.blocksPerFrame} + 17, uint64_t{layout.blocksPerFrame}, total}) {
    ASSERT_EQ(decoder->Seek(static_cast<int>(block)), ERROR_SUCCESS);
    EXPECT_EQ(decoder->GetInfo(APE_DECOMPRESS_CURRENT_BLOCK), static_cast<intptr_t>(block));
    EXPECT_EQ(ReadToEnd(*decoder, 777).pcm.size(), (total - block) * align) << block;
  }
  EXPECT_EQ(decoder->Seek(static_cast<int>(total) + 1), ERROR_BAD_PARAMETER);
}

INSTANTIATE_TEST_SUITE_P(Formats, ApeDecompressFormats,
                         ::testing::Values(ApeLayout{.bits = 16, .channels = 2}, ApeLayout{.bits = 8, .channels = 1},
                                           ApeLayout{.bits = 24, .channels = 2}),
                         [](const auto& info) {
                           return std::to_string(info.param.bits) + "bit" + std::to_string(info.param.channels);
                         });

TEST(ApeDecompress, DamagedFrameKeepsItsLengthAsSilenceAndTheNextPlaysOnTime) {
  // The largest frames any encoder writes, 24-bit stereo: the damaged one's
  // seven megabytes are handed out, never held.
  const ApeLayout layout{.blocksPerFrame = monkeys_audio::kMaxBlocksPerFrame, .finalFrameBlocks = 500, .frames = 3,
                     .bits = 24, .channels = 2, .damagedFrame = 1};
  const std::string file = MakeSilentApe(layout);
  const auto decoder = Open(file);
  ASSERT_TRUE(decoder);
  const uint64_t total = 2 * uint64_t{layout.blocksPerFrame} + layout.finalFrameBlocks;
  const Decoded all = ReadToEnd(*decoder, 44100);
  EXPECT_TRUE(all.damaged);
  EXPECT_EQ(all.pcm.size(), total * 6);
  EXPECT_EQ(std::count(all.pcm.begin(), all.pcm.end(), '\0'), static_cast<long>(all.pcm.size()));

  // From the middle of the damaged frame: the rest of it, then the last frame.
  ASSERT_EQ(decoder->Seek(static_cast<int>(layout.blocksPerFrame) + 100), ERROR_SUCCESS);
  EXPECT_EQ(ReadToEnd(*decoder, 4096).pcm.size(), (total - layout.blocksPerFrame - 100) * 6);

  // A damaged first frame: a file that would play nothing but silence.
  int error = 0;
  const std::string damagedFirst = MakeSilentApe(ApeLayout{.damagedFrame = 0});
  EXPECT_FALSE(Open(damagedFirst, &error));
  EXPECT_EQ(error, ERROR_INVALID_CHECKSUM);
}

struct ForgedHeader {
  const char* name;
  ApeLayout layout;
};

void PrintTo(const ForgedHeader& header, std::ostream* out) { *out << header.name; }

class ApeForgedHeader : public ::testing::TestWithParam<ForgedHeader> {};

// A header of about a hundred bytes could ask for a frame of four billion
// blocks (25 GB of PCM once the frame failed to decode), or state a length in
// milliseconds no 32-bit field holds.
TEST_P(ApeForgedHeader, IsRefusedBeforeAnythingIsSizedByIt) {
  const std::string file = MakeSilentApe(GetParam().layout);
  int error = 0;
  std::unique_ptr<IAPEDecompress> decoder;
  EXPECT_NO_THROW(decoder = Open(file, &error));
  EXPECT_FALSE(decoder);
  EXPECT_EQ(error, ERROR_INVALID_INPUT_FILE);
}

INSTANTIATE_TEST_SUITE_P(
    Headers, ApeForgedHeader,
    ::testing::Values(
        ForgedHeader{"FourBillionBlocksPerFrame", {.blocksPerFrame = 0xFFFFFFFF, .finalFrameBlocks = 0xFFFFFFFF,
                                                   .frames = 1, .bits = 24, .matchingCrcs = false}},
        ForgedHeader{"OneBlockMoreThanTheLargestEncoderFrame",
                     {.blocksPerFrame = monkeys_audio::kMaxBlocksPerFrame + 1, .finalFrameBlocks = 1}},
        ForgedHeader{"LengthBeyondThirtyTwoBitMilliseconds",
                     {.blocksPerFrame = monkeys_audio::kMaxBlocksPerFrame, .finalFrameBlocks = 1, .frames = 4,
                      .sampleRate = 1}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace qorve::test
